// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SharedDefaults.h"
#include "support/EventLoop.h"
#include "support/Fields.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

void writeFromAnotherProcess(const QString &file, const QString &key, const QByteArray &json)
{
    ASSERT_EQ(QProcess::execute(QStringLiteral(SETTINGS_WRITER), {file, key, QString::fromUtf8(json)}), 0);
}

QStringList g_warnings;
void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type >= QtWarningMsg && QByteArray(context.category) == "corvane.defaults")
        g_warnings.append(message);
}

struct CaptureWarnings
{
    CaptureWarnings() { g_warnings.clear(), previous = qInstallMessageHandler(collect); }
    ~CaptureWarnings() { qInstallMessageHandler(previous); }
    QtMessageHandler previous;
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList backups(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.corrupt-*")}, QDir::Files);
}

} // namespace

TEST(SharedDefaults, StoredValuesOverrideRegistrationsDictionariesAreGroupsOtherWritersAreSeen)
{
    app();
    QTemporaryDir dir;
    const QString file = dir.filePath("suite.conf");
    SharedDefaults defaults(file);
    EXPECT_FALSE(defaults.value("showMenuBarExtra").isValid());
    EXPECT_FALSE(defaults.boolValue("showMenuBarExtra")); // absent reads false

    defaults.registerDefaults(defaultSharedRegistrations());
    defaults.registerDefaults({{"showMenuBarExtra", true}});
    EXPECT_TRUE(defaults.boolValue("showMenuBarExtra"));
    EXPECT_TRUE(defaults.boolValue("NSDisabledDictationMenuItem"));
    EXPECT_FALSE(defaults.boolValue("NSFullScreenMenuItemEverywhere"));
    EXPECT_EQ(defaults.dictionaryValue("ignoreAttributes"), defaultIgnoreAttributes());
    EXPECT_FALSE(QFile::exists(file)); // registrations are never written

    defaults.setValue("showMenuBarExtra", false);
    EXPECT_FALSE(defaults.boolValue("showMenuBarExtra"));
    defaults.remove("showMenuBarExtra");
    EXPECT_TRUE(defaults.boolValue("showMenuBarExtra"));

    defaults.setValue("ShouldNotifyUser", true);
    SharedDefaults other(file);
    EXPECT_TRUE(other.boolValue("ShouldNotifyUser"));
    EXPECT_FALSE(other.boolValue("showMenuBarExtra"));
    EXPECT_FALSE(other.dictionaryValue("ignoreAttributes"));

    other.setValue("ignoreAttributes", QVariantMap{{"a5", true}, {"a194", false}});
    EXPECT_TRUE(contents(file).contains("[ignoreAttributes]\na194=false\na5=true\n")) << contents(file).constData();

    SharedDefaults reader(file);
    reader.registerDefaults(defaultSharedRegistrations());
    const auto stored = reader.dictionaryValue("ignoreAttributes");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, (QVariantMap{{"a5", true}, {"a194", false}}));
    EXPECT_EQ(stored->value("a5").typeId(), QMetaType::Bool);

    ASSERT_TRUE(writeFile(file, "[General]\nShouldNotifyUser=true\nshowMenuBarExtra=false\ncorvane2Intro=1\n\n"
                                "[ignoreAttributes]\na10=false\na5=true\n"));
    reader.reload();
    EXPECT_EQ(reader.dictionaryValue("ignoreAttributes"), (QVariantMap{{"a10", false}, {"a5", true}}));
    EXPECT_EQ(QList<bool>({reader.boolValue("ShouldNotifyUser"), reader.boolValue("showMenuBarExtra"),
                           reader.boolValue("corvane2Intro")}),
              QList<bool>({true, false, true}));
    EXPECT_EQ(QList<int>({alertReminderHours(0), alertReminderHours(-1), alertReminderHours("often")}),
              QList<int>({0, 24, 24}));

    for (const char *plain : {"[General]\nignoreAttributes=5\n", "[General]\nignoreAttributes=a5, a10\n"}) {
        ASSERT_TRUE(writeFile(file, plain));
        reader.reload();
        EXPECT_FALSE(reader.dictionaryValue("ignoreAttributes")) << plain;
    }
    reader.setValue("ignoreAttributes", QVariantMap{{"a187", true}});
    EXPECT_EQ(reader.dictionaryValue("ignoreAttributes"), (QVariantMap{{"a187", true}}));
    EXPECT_FALSE(contents(file).contains("ignoreAttributes="));

    reader.setValue("ignoreAttributes", QVariantMap());
    EXPECT_EQ(reader.dictionaryValue("ignoreAttributes"), QVariantMap());
    SharedDefaults again(file);
    again.registerDefaults(defaultSharedRegistrations());
    EXPECT_EQ(again.dictionaryValue("ignoreAttributes"), QVariantMap());

    const QString shared = dir.filePath("config/suite.conf"); // folder made on demand
    SharedDefaults watching(shared);
    watching.registerDefaults(defaultSharedRegistrations());
    QStringList changed;
    QObject::connect(&watching, &SharedDefaults::valueChanged, [&](const QString &key) { changed.append(key); });

    // Each write replaces the file (the first one makes it): the watch must survive that.
    const auto written = [&](const char *key, const QByteArray &json) {
        changed.clear();
        writeFromAnotherProcess(shared, key, json);
        return waitUntil([&] { return changed.contains(key); });
    };
    ASSERT_TRUE(written("ignoreAttributes", R"({"a5": true})"));
    EXPECT_EQ(watching.dictionaryValue("ignoreAttributes"), (QVariantMap{{"a5", true}}));
    ASSERT_TRUE(written("showMenuBarExtra", "false"));
    EXPECT_EQ(changed, QStringList{"showMenuBarExtra"});
    EXPECT_FALSE(watching.boolValue("showMenuBarExtra"));
    ASSERT_TRUE(written("ignoreAttributes", R"({"a5": false, "a10": true})"));
    EXPECT_EQ(watching.dictionaryValue("ignoreAttributes"), (QVariantMap{{"a5", false}, {"a10", true}}));

    changed.clear();
    watching.setValue("corvane2Intro", true);
    EXPECT_EQ(changed, QStringList{"corvane2Intro"});
    writeFromAnotherProcess(shared, "ShouldNotifyUser", "true");
    ASSERT_TRUE(waitUntil([&] { return changed.contains("ShouldNotifyUser"); }));
    EXPECT_EQ(changed, QStringList({"corvane2Intro", "ShouldNotifyUser"}));
    EXPECT_TRUE(watching.boolValue("corvane2Intro"));
}

TEST(SharedDefaults, CorruptFileIsKeptAsideAndDefaultsApply)
{
    app();
    const QList<QByteArray> garbage{
        QByteArray("[ignoreAttributes\na5=true\n"),                 // broken section
        QByteArray("ShouldNotifyUser=true\n\0\0\x01\x02", 26),      // binary
        QByteArray("\xff\xfe[General]\nShouldNotifyUser=true\n"),   // not UTF-8
    };
    for (const QByteArray &bad : garbage) {
        QTemporaryDir dir;
        const QString file = dir.filePath("suite.conf");
        ASSERT_TRUE(writeFile(file, bad));
        CaptureWarnings capture;
        SharedDefaults defaults(file);
        defaults.registerDefaults(defaultSharedRegistrations());
        EXPECT_EQ(g_warnings.size(), 1) << g_warnings.join('\n').toStdString();
        EXPECT_EQ(defaults.dictionaryValue("ignoreAttributes"), defaultIgnoreAttributes());
        EXPECT_FALSE(defaults.boolValue("ShouldNotifyUser"));
        const QStringList kept = backups(dir.path());
        ASSERT_EQ(kept.size(), 1);
        EXPECT_EQ(contents(dir.filePath(kept.first())), bad);

        defaults.setValue("ShouldNotifyUser", true);
        SharedDefaults reader(file);
        EXPECT_TRUE(reader.boolValue("ShouldNotifyUser"));
        EXPECT_EQ(contents(dir.filePath(kept.first())), bad);
        EXPECT_EQ(g_warnings.size(), 1);
    }

    QTemporaryDir dir;
    const QString file = dir.filePath("suite.conf");
    SharedDefaults defaults(file);
    defaults.registerDefaults(defaultSharedRegistrations());
    defaults.setValue("ignoreAttributes", QVariantMap{{"a5", true}});
    CaptureWarnings capture;
    ASSERT_TRUE(writeFile(file, QByteArray("\0garbage\0", 9)));
    ASSERT_TRUE(waitUntil([&] { return !backups(dir.path()).isEmpty(); }));
    EXPECT_EQ(defaults.dictionaryValue("ignoreAttributes"), defaultIgnoreAttributes());
    EXPECT_EQ(g_warnings.size(), 1);
}

// EACCES is no sign of corruption: the file stays where it is, unchanged,
// even when the program changes a value.
TEST(SharedDefaults, UnreadableFileIsNeitherMovedNorOverwrittenNorIsAReadOnlyFolderFatal)
{
    app();
    QTemporaryDir dir;
    const QString locked = dir.filePath("suite.conf");
    ASSERT_TRUE(writeFile(locked, "[General]\nShouldNotifyUser=true\n"));
    const QByteArray before = contents(locked);
    // Another user may replace files in the folder, not read this one.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    const bool switched = geteuid() == 0 && seteuid(65534) == 0; // nobody
    if (geteuid() == 0)
        GTEST_SKIP() << "cannot drop privileges here";
    {
        CaptureWarnings capture;
        SharedDefaults defaults(locked);
        defaults.registerDefaults(defaultSharedRegistrations());
        EXPECT_FALSE(defaults.boolValue("ShouldNotifyUser"));
        EXPECT_EQ(defaults.dictionaryValue("ignoreAttributes"), defaultIgnoreAttributes());
        defaults.setValue("corvane2Intro", true);
        EXPECT_TRUE(defaults.boolValue("corvane2Intro")); // for as long as this program runs
        defaults.reload();
        EXPECT_EQ(g_warnings.size(), 1) << g_warnings.join('\n').toStdString();
        EXPECT_TRUE(g_warnings.value(0).contains("Cannot read settings file")) << g_warnings.value(0).toStdString();
    }
    if (switched) {
        ASSERT_EQ(seteuid(0), 0);
    }
    EXPECT_TRUE(backups(dir.path()).isEmpty());
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(contents(locked), before);

    // A read-only folder: the program goes on with what it read.
    const QString folder = dir.filePath("config");
    const QString file = folder + "/suite.conf";
    {
        SharedDefaults writer(file);
        writer.setValue("ShouldNotifyUser", true);
    }
    const QByteArray good = contents(file);
    if (geteuid() == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount(folder.toUtf8(), folder.toUtf8(), nullptr, MS_BIND, nullptr) != 0
            || mount("none", folder.toUtf8(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            GTEST_SKIP() << "cannot make a read-only mount here (no private mount namespace)";
    } else {
        ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    CaptureWarnings capture;
    SharedDefaults defaults(file);
    EXPECT_TRUE(defaults.boolValue("ShouldNotifyUser"));
    defaults.setValue("ShouldNotifyUser", false);
    defaults.setValue("corvane2Intro", true);
    EXPECT_EQ(g_warnings.size(), 1) << g_warnings.join('\n').toStdString();
    EXPECT_EQ(contents(file), good);
    EXPECT_TRUE(backups(folder).isEmpty());

    if (geteuid() == 0)
        umount(folder.toUtf8());
    else
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
