// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/DriveDatabase.h"
#include "database/DriveDatabaseFile.h"
#include "database/THSmartDeviceDatabase.h"
#include "TestData.h"
#include "support/EventLoop.h"
#include "support/Fields.h"
#include "support/Golden.h"
#include "QStringPrinter.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::expectFields;
using corvane::test::writeFile;

namespace {

const QString kRealDb = QStringLiteral("/usr/share/smartmontools/drivedb.h");

DriveDatabase fixture(const char *name, bool *readable = nullptr)
{
    return DriveDatabase::parse(test::readData(QStringLiteral("drivedb/") + QLatin1String(name)), readable);
}

QVariantMap preset(const QVariantMap &entry, const char *id)
{
    return entry.value(QStringLiteral("attribDict")).toMap().value(QLatin1String(id)).toMap();
}

QString family(const DriveDatabase &db, const QString &model, const QString &firmware)
{
    return db.lookup(model, firmware).value(QStringLiteral("modelfamily")).toString();
}

} // namespace

TEST(DriveDatabase, HandWrittenFileFollowsTheFormatRules)
{
    bool readable = false;
    const DriveDatabase db = fixture("base.h", &readable);
    ASSERT_TRUE(readable);
    const QVariantMap whole{{"dictionary", db.dictionary()}, {"defaultEntry", db.defaultEntry()}, {"drives", db.drives()}};
    test::expectGoldenJson("drivedb-base.json", whole);
    EXPECT_EQ(db.brokenPatterns(), 1);

    // Abbreviations expand as whole words, never doubling a blank.
    const QList<std::pair<const char *, const char *>> names{
        {"Perc Rated Life Remain", "Percentage Rated Life Remaining"},
        {"Total Unc NAND Reads", "Total Uncorrectable NAND Reads"},
        {"Avg/Max Erase Count", "Avg/Max Erase Count"},
        {"Max Avg Erase Ct", "Maximum Average Erase Count"},
        {"Err Cnt Cnt", "Error Count Count"},
        {"Unkn SiliconMotion Attr", "Unknown Silicon Motion Attribute"},
        {"Maximum", "Maximum"},
    };
    for (const auto &[raw, expanded] : names)
        EXPECT_EQ(DriveDatabase::expandName(QLatin1String(raw)), QLatin1String(expanded)) << raw;
}

TEST(DriveDatabase, LookupMatchesTheWholeTextInFileOrder)
{
    const DriveDatabase db = fixture("base.h");
    const struct { const char *model, *firmware; int index; const char *family; } lookups[] = {
        {"EXAMPLE ONE-100", "FW1", 1, "Example Family One"},
        // Patterns cover the whole text, model and firmware alike.
        {"XX EXAMPLE ONE-7", "FW1", -1, ""},
        {"EXAMPLE ONE-7 YY", "FW1", -1, ""},
        {"EXAMPLE ONE-7", "AFW12", -1, ""},
        {"EXAMPLE ONE-100", "FW2", -1, ""}, // not the later "EXAMPLE ONE-1"
        // The first record's firmware does not match: the later record wins.
        {"EXAMPLE ONE-1", "FW2", 7, "Example Family One later"},
        {"EXAMPLE ONE-1", "FW1", 1, "Example Family One"},
        {"NOFAMILY MODEL", "", 2, "NOFAMILY MODEL"}, // no firmware pattern: any firmware, the empty one too
        {"SPLIT BETA-4", "x", 3, "Split Pattern Family"},
        {"COMMENTED MODEL", "x", 4, "Block comment family"},
        {"ESC M.2 (S42)", "x", 5, "Escaped 2.5\" family"},
        {"ESC Mx2 (S42)", "x", -1, ""},
        {"BROKEN(", "x", -1, ""}, // a pattern that does not compile matches nothing, not even itself
        {"", "", -1, ""},
        {"nothing at all", "1.0", -1, ""},
        {"-", "-", -1, ""}, // the default entry holds presets, not a drive
    };
    for (const auto &l : lookups) {
        EXPECT_EQ(db.lookupIndex(l.model, l.firmware), l.index) << l.model << " " << l.firmware;
        EXPECT_EQ(family(db, l.model, l.firmware), QString::fromUtf8(l.family)) << l.model;
        EXPECT_EQ(db.lookup(l.model, l.firmware).isEmpty(), l.index < 0) << l.model;
    }

    // Patterns are grouped by the character a match begins with; whatever
    // cannot be told that way (groups, classes, escapes, optional or absent
    // first characters) must still be found, and file order must hold across groups.
    const DriveDatabase starts = DriveDatabase::parse(
        "{ \"VERSION: 7.3 $Id: drivedb.h 1 2022-02-19 $\",\n\"-\", \"-\",\n\"\",\n\"\"\n},\n"
        "{ \"DEFAULT\", \"-\", \"-\", \"\", \"\" },\n"
        "{ \"group\", \"(A|B)1\", \"\", \"\", \"\" },\n"
        "{ \"class\", \"[]C]2\", \"\", \"\", \"\" },\n"
        "{ \"optional\", \"D?3|E\\\\.4\", \"\", \"\", \"\" },\n"
        "{ \"empty alternative\", \"F5|\", \"\", \"\", \"\" },\n"
        "{ \"letters\", \"A1|G[|]6\", \"\", \"\", \"\" },\n"
        "{ \"late\", \"(B)1\", \"\", \"\", \"\" },\n"
        "{ \"optional group\", \"(X |Z)?Y7|(W)+8|(V){2}9\", \"\", \"\", \"\" },\n"
        "{ \"quoted \\\" /* not a comment\", \"Q\", \"\", \"\", \"\" },\n"
        "{ \"slashes \\\" // kept\", \"S // 1\", \"\", \"\", \"\" }, // a comment\n");
    ASSERT_EQ(starts.drives().size(), 10);
    // "//" inside a string is text, not the start of a line comment.
    EXPECT_EQ(family(starts, "S // 1", "x"), "slashes \" // kept");
    // An escaped quote does not end a string, so what follows it is no comment.
    EXPECT_EQ(family(starts, "Q", "x"), "quoted \" /* not a comment");
    const QList<std::pair<const char *, int>> found{{"A1", 1}, {"B1", 1}, {"]2", 2}, {"C2", 2}, {"3", 3},
                                                    {"D3", 3}, {"E.4", 3}, {"F5", 4}, {"", 4}, {"G|6", 5},
                                                    {"G6", -1}, {"Ex4", -1}, {"X", -1}, {"Y7", 7},
                                                    {"X Y7", 7}, {"ZY7", 7}, {"WW8", 7}, {"VV9", 7}};
    for (const auto &[model, index] : found)
        EXPECT_EQ(starts.lookupIndex(QLatin1String(model), "x"), index) << model;
    EXPECT_EQ(starts.brokenPatterns(), 0);
}

TEST(DriveDatabase, DamagedAndForeignFiles)
{
    const QByteArray text = test::readData("drivedb/base.h");
    const DriveDatabase base = DriveDatabase::parse(text);

    bool readable = false;
    const DriveDatabase crlf = DriveDatabase::parse(QByteArray(text).replace("\n", "\r\n"), &readable);
    EXPECT_TRUE(readable);
    EXPECT_EQ(crlf.dictionary(), base.dictionary());

    // Cut inside a block comment: the records before the cut survive intact.
    const DriveDatabase truncated = DriveDatabase::parse(text.left(text.indexOf("* as some records") + 6), &readable);
    EXPECT_TRUE(readable);
    ASSERT_EQ(truncated.drives().size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(truncated.drives()[i], base.drives()[i]) << i;

    // Without the version record (nor the comment naming it).
    QByteArray unversioned = text;
    for (const char *line : {" * Entries below", "  { \"VERSION:"}) {
        const qsizetype at = unversioned.indexOf(line);
        unversioned.remove(at, unversioned.indexOf('\n', at) + 1 - at);
    }
    const DriveDatabase noVersion = DriveDatabase::parse(unversioned, &readable);
    EXPECT_TRUE(readable);
    EXPECT_TRUE(noVersion.drives().isEmpty());
    EXPECT_FALSE(noVersion.dictionary().contains("version"));
    EXPECT_TRUE(noVersion.lookup("EXAMPLE ONE-100", "FW1").isEmpty());

    const DriveDatabase binary = fixture("binary.h", &readable);
    EXPECT_FALSE(readable);
    EXPECT_TRUE(binary.drives().isEmpty());

    const DriveDatabase empty = DriveDatabase::parse(QByteArrayView(), &readable);
    EXPECT_TRUE(empty.drives().isEmpty());
    EXPECT_TRUE(empty.defaultEntry().isEmpty());

    // A file of only the version record and stray text: nothing recognised.
    const DriveDatabase stray = DriveDatabase::parse("{ \"VERSION: 1.0\",\n},\n{ \"a\", \"b\",\n-v\n-F\n", &readable);
    EXPECT_TRUE(readable);
    EXPECT_TRUE(stray.drives().isEmpty());
    EXPECT_EQ(stray.dictionary().value("datebuild").toString(), "");

    // Only UTF-8 text is a database: each kind of sequence at its limits.
    const struct { const char *bytes; bool text; } utf8[] = {
        {"\xC2\x80", true},          {"\xC1\xBF", false},         // U+0080; overlong
        {"\xE0\xA0\x80", true},      {"\xE0\x9F\xBF", false},     // U+0800; overlong
        {"\xE1\x80\x80", true},      {"\xED\x9F\xBF", true},      // U+1000, U+D7FF
        {"\xED\xA0\x80", false},     {"\xED\xBF\xBF", false},     // surrogates
        {"\xEE\x80\x80", true},      {"\xF4\x8F\xBF\xBF", true},  // U+E000, U+10FFFF
        {"\xF1\x80\x80\x80", true},                              // U+40000
        {"\xF4\x90\x80\x80", false}, {"\x80", false},             // beyond U+10FFFF; no lead byte
    };
    for (const auto &u : utf8) {
        readable = !u.text;
        DriveDatabase::parse(QByteArray("{ \"VERSION: 1.0\",\n},\n// ") + u.bytes + "\n", &readable);
        EXPECT_EQ(readable, u.text) << QByteArray(u.bytes).toHex().constData();
    }
}

TEST(DriveDatabase, RealDebianFile)
{
    QFile file(kRealDb);
    if (!file.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "smartmontools' drivedb.h is not installed at " << kRealDb.toStdString()
                     << " (apt-get install smartmontools)";

    const QByteArray text = file.readAll();
    bool readable = false;
    const DriveDatabase db = DriveDatabase::parse(text, &readable);
    ASSERT_TRUE(readable);
    const QVariantMap dict = db.dictionary();
    EXPECT_TRUE(QRegularExpression("^\\d{1,2}\\.\\d{1,2}$").match(dict.value("version").toString()).hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d{1,5}$").match(dict.value("build").toString()).hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}$").match(dict.value("date").toString()).hasMatch());

    EXPECT_EQ(db.brokenPatterns(), 0);

    const QVariantMap def = db.defaultEntry();
    EXPECT_EQ(def.value("modelfamily").toString(), "DEFAULT");
    expectFields(preset(def, "194"), {{"fmt", "tempminmax"}, {"name", "Temperature Celsius"}});
    EXPECT_EQ(preset(def, "5").value("name").toString(), "Reallocated Sector Count");

    const struct { const char *model, *firmware, *family; } known[] = {
        {"WDC WD2500BB-00GUA0", "x", "Western Digital Caviar"}, // the model follows a block comment
        // Escaped points in the C strings.
        {"ATP I-Temp M.2 2242", "R0822A", "ATP SATA III aMLC M.2 2242 Embedded SSD"},
        {"TOSHIBA MK1651GSY", "LD001D", "Toshiba 2.5\" HDD MK..51GSY"},
        // Whole-text matching: a pattern alternative that occurs inside
        // another maker's model ("T60" in this Seagate) does not catch it.
        {"ST6000DM003-2CY186", "0001", "Seagate BarraCuda 3.5 (SMR)"},
        // The 730/S3700 record and the later 3710 one both cover these; the
        // first in file order wins, as with smartctl -P showall.
        {"INTEL SSDSC2BA400G4", "G2010140", "Intel 730 and DC S35x0/3610/3700 Series SSDs"},
        {"INTEL SSDSC2BA400G4R", "G201DL2B", "Intel 730 and DC S35x0/3610/3700 Series SSDs"},
        {"WDC WD5000AAKS-00TMA0", "12.01C01", "Western Digital Caviar Blue (SATA)"},
        {"NO SUCH DRIVE 0000", "0", ""},
    };
    for (const auto &k : known) {
        EXPECT_EQ(family(db, k.model, k.firmware), QString::fromUtf8(k.family)) << k.model;
        EXPECT_EQ(db.lookup(k.model, k.firmware).isEmpty(), !*k.family) << k.model;
    }

    // Every model the file lists under "tested with" (as MODEL/FIRMWARE in the
    // comments of its record) finds that record or an earlier one that matches.
    // Some notes abbreviate the model (no maker prefix) and find nothing.
    // Records are counted independently: every line that opens one with a
    // string, outside comments.
    static const QRegularExpression opening(QStringLiteral("^\\s*\\{\\s*\""));
    static const QRegularExpression item(QStringLiteral("^\\s*([^/]+)/(\\S+)"));
    int entry = -1, listed = 0, own = 0, later = 0;
    bool listing = false, inComment = false;
    for (const QByteArray &line : text.split('\n')) {
        const QString l = QString::fromUtf8(line);
        if (inComment) {
            inComment = !l.contains(QLatin1String("*/"));
            continue;
        }
        if (l.trimmed().startsWith(QLatin1String("/*")) && !l.contains(QLatin1String("*/")))
            inComment = true;
        else if (opening.match(l).hasMatch())
            ++entry; // the version record is entry -1
        const qsizetype slashes = l.indexOf(QLatin1String("//"));
        QString note = slashes < 0 ? QString() : l.mid(slashes + 2).trimmed();
        if (note.contains(QLatin1String("tested with")))
            note = note.section(QLatin1String("tested with"), 1), listing = true;
        else if (!listing || slashes < 0)
            continue;
        listing = note.endsWith(u',') || note.trimmed().isEmpty();
        for (const QString &piece : note.split(u',')) {
            const auto m = item.match(QString(piece).remove(QRegularExpression(QStringLiteral("\\s*\\(.*$"))));
            if (!m.hasMatch() || entry < 1)
                continue;
            ++listed;
            const int found = db.lookupIndex(m.captured(1).trimmed(), m.captured(2));
            own += found > 0 && found <= entry;
            later += found > entry;
        }
    }
    EXPECT_EQ(db.drives().size(), entry); // every record but the version one
    std::printf("drivedb.h: %d of %d \"tested with\" models find their record or an earlier one; %d a later one\n",
                own, listed, later);
    EXPECT_GT(listed, 900);
    EXPECT_GE(own, listed * 85 / 100);
    EXPECT_EQ(later, 0);
    if (dict.value("build").toString() == QLatin1String("5319")) { // Debian 12's copy
        EXPECT_EQ(own, 819);
    }
}

TEST(DatabaseFile, ContainerCopyWinsOverTheShippedOnesAndUpdatesArriveOnTheMainThread)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    const QStringList savedSystem = THSmartDeviceDatabase::systemDatabasePaths();
    QCoreApplication &app = test::app();

    THSmartDeviceDatabase::setSystemDatabasePaths({home.filePath("none-a.h"), home.filePath("none-b.h")});
    int updates = 0;
    QThread *deliveredOn = nullptr;
    QObject listener; // ends the connection with this test: it captures the test's locals
    QObject::connect(THSmartDeviceDatabase::instance(), &THSmartDeviceDatabase::databaseUpdated, &listener, [&] {
        ++updates;
        deliveredOn = QThread::currentThread();
    });
    EXPECT_FALSE(THSmartDeviceDatabase::unpackDriveDBFile());
    EXPECT_TRUE(THSmartDeviceDatabase::driveDatabase().value("drives").toList().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(updates, 0);

    // Two shipped copies: the newer revision is read.
    const QString older = home.filePath("older.h"), newer = home.filePath("newer.h");
    QByteArray text = test::readData("drivedb/base.h");
    ASSERT_TRUE(writeFile(older, QByteArray(text).replace("5319", "4000").replace("Example Family One\"", "Old Family\"")));
    ASSERT_TRUE(writeFile(newer, text));
    THSmartDeviceDatabase::setSystemDatabasePaths({older, newer});
    EXPECT_EQ(THSmartDeviceDatabase::sourcePath(), newer);

    // Parsed on a worker thread; the signal still arrives on the main thread.
    bool parsed = false;
    QThread *worker = QThread::create([&] { parsed = THSmartDeviceDatabase::unpackDriveDBFile(); });
    worker->start();
    worker->wait();
    delete worker;
    EXPECT_TRUE(parsed);
    test::waitUntil([&] { return updates > 0; }, 5000);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(deliveredOn, app.thread());
    EXPECT_EQ(THSmartDeviceDatabase::lookupDriveModel("EXAMPLE ONE-1", "FW1").value("modelfamily").toString(),
              "Example Family One");

    ASSERT_TRUE(writeFile(THSmartDeviceDatabase::dbPath(),
                          QByteArray(text).replace("Example Family One\"", "Container Family\"")));
    EXPECT_EQ(THSmartDeviceDatabase::sourcePath(), THSmartDeviceDatabase::dbPath());
    EXPECT_TRUE(THSmartDeviceDatabase::unpackDriveDBFile());
    EXPECT_EQ(THSmartDeviceDatabase::lookupDriveModel("EXAMPLE ONE-1", "FW1").value("modelfamily").toString(),
              "Container Family");

    // A long-running program sees the file replaced by an update, once.
    EXPECT_FALSE(THSmartDeviceDatabase::reloadIfChanged());
    ASSERT_TRUE(writeDriveDBFile(THSmartDeviceDatabase::dbPath(),
                                 QByteArray(text).replace("Example Family One\"", "Updated Family\"")));
    EXPECT_TRUE(THSmartDeviceDatabase::reloadIfChanged());
    EXPECT_EQ(THSmartDeviceDatabase::lookupDriveModel("EXAMPLE ONE-1", "FW1").value("modelfamily").toString(),
              "Updated Family");
    EXPECT_FALSE(THSmartDeviceDatabase::reloadIfChanged());

    // A binary container file: false, empty database, not the shipped copy.
    ASSERT_TRUE(writeFile(THSmartDeviceDatabase::dbPath(), test::readData("drivedb/binary.h")));
    EXPECT_FALSE(THSmartDeviceDatabase::unpackDriveDBFile());
    EXPECT_TRUE(THSmartDeviceDatabase::driveDatabase().value("drives").toList().isEmpty());
    QCoreApplication::processEvents();

    THSmartDeviceDatabase::setSystemDatabasePaths(savedSystem);
    qunsetenv("XDG_DATA_HOME");
}
