// SPDX-License-Identifier: GPL-3.0-or-later
#include "Provider.h"
#include "TestData.h"
#include "WidgetStyle.h"
#include "WidgetTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane::widget;
using namespace corvane::widget::test;
using corvane::test::dataPath;

namespace {

std::optional<QList<SMARTDrive>> loadFixture(const QString &name)
{
    setDataFilePathOverride(dataPath(QStringLiteral("widget/") + name));
    auto drives = loadAppData();
    setDataFilePathOverride(QString());
    return drives;
}

QStringList each(const QList<SMARTDrive> &drives, const std::function<QString(const SMARTDrive &)> &field)
{
    QStringList values;
    for (const SMARTDrive &d : drives)
        values << field(d);
    return values;
}

} // namespace

TEST(WidgetProvider, DecodesFilterAndSortInTheAgentsOrder)
{
    const auto empty = loadFixture(QStringLiteral("empty-array.json"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());

    const auto drives = loadFixture(QStringLiteral("edge-cases.json"));
    ASSERT_TRUE(drives.has_value());
    // Records without textual health are gone; the kernel's natural order
    // (disk2 before disk10, sdb before sdaa), stable for the two disk2.
    EXPECT_EQ(each(*drives, &SMARTDrive::bsdName), (QStringList{"disk1s1", "disk2", "disk2", "disk10", "sdb", "sdaa"}));
    EXPECT_EQ(each(*drives, &SMARTDrive::hwName), (QStringList{"Model One", "Model Two", "Second disk2", "Model Ten",
                                                               "Model B", QString::fromUtf8("Größe ÄÖÜ")}));
    EXPECT_EQ(each(*drives, tileTitle), (QStringList{"Model One", "Macintosh HD", "Only After Commas", "Ten", "",
                                                     QString::fromUtf8("Données – été")}));
    // "-" stays and is drawn grey; a health word is matched exactly.
    EXPECT_EQ(each(*drives, &SMARTDrive::health), (QStringList{"-", "Warning", "Failed", "Passed", "Passed", "passed"}));
    EXPECT_EQ(statusImageName(statusImage(drives->at(5).health)), "circle");
    EXPECT_TRUE(drives->at(1).isInternal());
    EXPECT_FALSE(drives->at(2).isInternal()); // "USB" counts as external

    // Only a last " - Data" goes; an empty title falls back to the model.
    SMARTDrive d = drives->at(0);
    const std::pair<const char *, const char *> titles[] = {{",", "Model One"}, {"A - Data - Data,B", "A - Data"}, {"A - data", "A - data"}};
    for (const auto &[volumes, title] : titles) {
        d.volName = QString::fromLatin1(volumes);
        EXPECT_EQ(tileTitle(d), title) << volumes;
    }
    EXPECT_EQ(tileTitle(exampleDrive()), "Macintosh HD");
}

TEST(WidgetProvider, BrokenFilesGiveNoResultNotHalfAList)
{
    for (const char *name : {"truncated.json", "wrong-type.json", "missing-key.json", "not-an-array.json",
                             "non-object-element.json", "trailing-garbage.json", "invalid-utf8.json",
                             "does-not-exist.json"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(loadFixture(QString::fromLatin1(name)).has_value());
    }

    // Garbage beyond the fixtures is the fuzz target's; a NUL before good JSON is no JSON.
    EXPECT_FALSE(decodeAppData(QByteArray()).has_value());
    EXPECT_FALSE(decodeAppData(QByteArray("\0\0\0[]", 5)).has_value());
    // Deep nesting is refused by the parser, not by the stack.
    EXPECT_FALSE(decodeAppData(QByteArray(100000, '[')).has_value());
}

TEST(WidgetProvider, OnlyRegularFilesOfSaneSizeAreRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // A valid but oversized array is refused before it is parsed.
    const QString huge = dir.filePath(QStringLiteral("huge.json"));
    QByteArray json = "[";
    while (json.size() <= kMaxDataFileSize)
        json += drivesJson({"Passed"}).mid(1).chopped(1) + ",";
    ASSERT_TRUE(replaceFile(huge, json + drivesJson({"Passed"}).mid(1)));
    EXPECT_FALSE(readDataFile(huge).has_value());

    // A FIFO must neither block nor be taken for data; nor must a folder.
    const QString fifo = dir.filePath(QStringLiteral("fifo.json"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(readDataFile(fifo).has_value());
    EXPECT_FALSE(readDataFile(dir.path()).has_value());

    const QString exact = dir.filePath(QStringLiteral("ok.json"));
    ASSERT_TRUE(replaceFile(exact, drivesJson({"Passed", "Failed"})));
    const auto content = readDataFile(exact);
    ASSERT_TRUE(content.has_value());
    EXPECT_EQ(decodeAppData(*content)->size(), 2);
}

TEST(WidgetProvider, EntriesComeFromTheGroupContainerAndNeverGoStale)
{
    QFile::remove(corvane::groupContainer() + QStringLiteral("data.json"));
    const Provider provider;
    const auto shown = [](const DriveEntry &e) {
        return QStringLiteral("%1 drives, date %2, notice '%3'").arg(e.drives.size()).arg(e.date.isValid()).arg(e.notice);
    };
    const QString noData = QStringLiteral("0 drives, date 1, notice '%1'").arg(QLatin1String(kNoDataNotice));
    QString entry;
    provider.getSnapshot([&](const DriveEntry &e) { entry = shown(e); });
    EXPECT_EQ(entry, noData);

    ASSERT_TRUE(writeDataFile(drivesJson({"Passed", "Warning", "Failed"})));
    int calls = 0;
    provider.getTimeline([&](const Timeline &timeline) {
        ++calls;
        ASSERT_EQ(timeline.entries.size(), 1);
        EXPECT_EQ(timeline.policy, ReloadPolicy::Never);
        EXPECT_EQ(shown(timeline.entries.first()), "3 drives, date 1, notice ''");
    });
    EXPECT_EQ(calls, 1);

    // The file turns bad: the old drives must not be shown any more.
    ASSERT_TRUE(writeDataFile(drivesJson({"Passed", "Warning", "Failed"}).chopped(3)));
    EXPECT_EQ(shown(Provider::currentEntry()), noData);
    ASSERT_TRUE(writeDataFile("[]"));
    EXPECT_EQ(shown(Provider::currentEntry()), "0 drives, date 1, notice ''");

    const DriveEntry placeholder = provider.placeholder();
    ASSERT_EQ(placeholder.drives.size(), 1);
    EXPECT_EQ(placeholder.drives.first().hwName, exampleDrive().hwName);
}
