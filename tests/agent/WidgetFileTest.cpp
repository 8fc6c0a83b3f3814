// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "DriveSource.h"
#include "SMARTDrive.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sched.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

TEST(SMARTDrive, SummaryFromDriveProperties)
{
    auto d = SMARTDrive::fromProperties(driveProperties("sdb", "WDC WD40EFRX", QStringLiteral("Failed"),
                                                        {"Data", "Data Backup"}, "External"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->bsdName, "sdb");
    EXPECT_EQ(d->hwName, "WDC WD40EFRX");
    EXPECT_EQ(d->volName, "Data, Data Backup");
    EXPECT_EQ(d->volumeNames, QStringList({"Data", "Data Backup"}));
    EXPECT_EQ(d->location, "External");
    EXPECT_EQ(d->icon, "drive-harddisk");
    EXPECT_EQ(d->health, "Failed");
    EXPECT_FALSE(d->id.isNull());

    // No verdict, or one that is not text, reads "-".
    EXPECT_EQ(SMARTDrive::fromProperties(driveProperties("sda", "m", QVariant()))->health, "-");
    EXPECT_EQ(SMARTDrive::fromProperties(driveProperties("sda", "m", QVariant(3)))->health, "-");
    EXPECT_EQ(SMARTDrive::fromProperties(driveProperties("sda", "m", QString("")))->health, "-");
    EXPECT_EQ(SMARTDrive::fromProperties(driveProperties("sda", "m", QVariant(), {}))->volName, "");

    // Every summary is a new identity, even of the same drive.
    const QVariantMap same = driveProperties("sda", "m", QStringLiteral("Passed"));
    EXPECT_FALSE(*SMARTDrive::fromProperties(same) == *SMARTDrive::fromProperties(same));

    // Dictionaries the summary can't name are left out; odd value types don't crash.
    EXPECT_FALSE(SMARTDrive::fromProperties({}));
    EXPECT_FALSE(SMARTDrive::fromProperties({{"bsdName", 7}}));
    auto odd = SMARTDrive::fromProperties(
        {{"bsdName", "sdc"}, {"volumes", "not a list"}, {"Device Model", QVariantList{}}, {"diskIcon", QVariantMap{}}});
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->volName, "");
    auto mixed = SMARTDrive::fromProperties(
        {{"bsdName", "sdc"}, {"volumes", QVariantList{"text", QVariantMap{{"name", 5}}, QVariantMap{{"name", "X"}}}}});
    EXPECT_EQ(mixed->volName, "X"); // only named volumes are joined
    EXPECT_EQ(odd->hwName, "");
}

TEST(SMARTDrive, WidgetDataFileForm)
{
    EXPECT_EQ(encodeDrivesForWidget({}), "[]");

    QList<SMARTDrive> drives{*SMARTDrive::fromProperties(driveProperties("sda", "Samsung SSD 870", QStringLiteral("Passed"), {"Système", "日本語"})),
                             *SMARTDrive::fromProperties(driveProperties("sdb", "ST4000", QVariant(), {}, "External"))};
    const QByteArray text = encodeDrivesForWidget(drives);
    EXPECT_FALSE(text.contains('\n'));
    EXPECT_FALSE(text.contains(": ")); // compact

    const QJsonArray array = QJsonDocument::fromJson(text).array();
    ASSERT_EQ(array.size(), 2);
    const QRegularExpression uuid(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    for (const auto &v : array) {
        const QJsonObject o = v.toObject();
        EXPECT_EQ(o.keys(), QStringList({"bsdName", "health", "hwName", "id", "location", "volName"}));
        EXPECT_TRUE(uuid.match(o["id"].toString()).hasMatch()) << qPrintable(o["id"].toString());
        for (const auto &member : o)
            EXPECT_TRUE(member.isString());
    }
    EXPECT_EQ(array[0]["volName"].toString(), QString::fromUtf8("Système, 日本語"));
    EXPECT_EQ(array[0]["id"].toString(), drives[0].id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(array[1]["health"].toString(), "-");
    EXPECT_EQ(array[1]["location"].toString(), "External");
    EXPECT_TRUE(text.contains("Syst\xc3\xa8me")); // UTF-8, not \u escapes

    // What the widget reads back is what the agent wrote, field for field, in
    // the agent's natural order (nvme2n1 before nvme10n1, sdz before sdaa).
    for (const char *bsd : {"nvme10n1", "sdz", "nvme2n1", "sdaa"})
        drives.append(*SMARTDrive::fromProperties(driveProperties(bsd, bsd, QStringLiteral("Failed"), {"V"})));
    const std::optional<QList<SMARTDrive>> read = decodeDrivesForWidget(encodeDrivesForWidget(drives));
    ASSERT_TRUE(read.has_value());
    QStringList order;
    for (const SMARTDrive &d : *read) {
        order << d.bsdName;
        const auto written = std::find(drives.cbegin(), drives.cend(), d); // by id
        ASSERT_NE(written, drives.cend()) << qPrintable(d.bsdName);
        EXPECT_EQ(d.bsdName, written->bsdName);
        EXPECT_EQ(d.hwName, written->hwName);
        EXPECT_EQ(d.volName, written->volName);
        EXPECT_EQ(d.volumeNames, written->volumeNames);
        EXPECT_EQ(d.location, written->location);
        EXPECT_EQ(d.health, written->health);
        EXPECT_TRUE(d.icon.isEmpty()); // never written
    }
    EXPECT_EQ(order, QStringList({"nvme2n1", "nvme10n1", "sda", "sdb", "sdz", "sdaa"}));
}

TEST(SMARTDrive, WritesTheFileAndAsksTheWidgetToReload)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    QDBusConnection agent = bus.connect();
    ReloadListener widget(bus.connect());
    QTemporaryDir home;
    const QString container = home.filePath("group/");

    const QList<SMARTDrive> drives{*SMARTDrive::fromProperties(driveProperties("sda", "m", QStringLiteral("Warning")))};
    EXPECT_EQ(writeDrivesForWidget(drives, container, agent), WidgetWrite::Written);
    QFile file(container + "data.json");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), encodeDrivesForWidget(drives));
    file.close();
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 1; }));
    EXPECT_EQ(widget.kinds.first(), "Corvane_Widget");

    // An empty list replaces the old one.
    EXPECT_EQ(writeDrivesForWidget({}, container, agent), WidgetWrite::Written);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[]");
    file.close();
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 2; }));

    // No container (its place is taken by a file): nothing written, no reload.
    QFile blocker(home.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(writeDrivesForWidget(drives, home.filePath("blocked/group"), agent), WidgetWrite::NoContainer);
    EXPECT_EQ(writeDrivesForWidget(drives, QString(), agent), WidgetWrite::NoContainer);
    // A later reload would arrive after this marker one.
    requestWidgetReload(agent);
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 3; }));

    // Without a bus the file is still written.
    EXPECT_EQ(writeDrivesForWidget(drives, container, QDBusConnection(QStringLiteral("nothing"))), WidgetWrite::Written);

    // A read-only data folder: the good file stays as it was, the reload is still asked for.
    if (geteuid() == 0) {
        // Root writes through file modes; a read-only bind mount stops it.
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount(container.toUtf8(), container.toUtf8(), nullptr, MS_BIND, nullptr) != 0
            || mount("none", container.toUtf8(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            GTEST_SKIP() << "cannot make a read-only mount here (no private mount namespace)";
    } else {
        ASSERT_TRUE(QFile::setPermissions(container, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    const QList<SMARTDrive> after{*SMARTDrive::fromProperties(driveProperties("sdb", "new", QStringLiteral("Failed")))};
    EXPECT_EQ(writeDrivesForWidget(after, container, agent), WidgetWrite::WriteFailed);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), encodeDrivesForWidget(drives));
    EXPECT_EQ(QDir(container).entryList(QDir::Files | QDir::Hidden), QStringList{"data.json"});
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 4; }));

    if (geteuid() == 0)
        umount(container.toUtf8());
    else
        QFile::setPermissions(container, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(SMARTDrive, DriveOrder)
{
    QStringList names{"sdaa", "nvme10n1", "sdb", "disk10", "sda", "nvme2n1", "disk2", "disk0", "sdz", "nvme0n1", "disk0s1"};
    std::stable_sort(names.begin(), names.end(), driveNameLess);
    EXPECT_EQ(names, QStringList({"disk0", "disk0s1", "disk2", "disk10", "nvme0n1", "nvme2n1", "nvme10n1", "sda",
                                  "sdb", "sdz", "sdaa"}));
    EXPECT_FALSE(driveNameLess("sda", "sda"));
    EXPECT_FALSE(driveNameLess("", ""));
    EXPECT_TRUE(driveNameLess("", "sda"));
    EXPECT_TRUE(driveNameLess("disk007", "disk8"));
    EXPECT_FALSE(driveNameLess("disk8", "disk007"));
}
