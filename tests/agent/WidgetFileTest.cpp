// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "DriveSource.h"
#include "SMARTDrive.h"
#include "support/Fields.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sched.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

QString fields(const std::optional<SMARTDrive> &d)
{
    if (!d)
        return QStringLiteral("(none)");
    return QStringList{d->bsdName, d->hwName, d->volName, d->volumeNames.join(';'), d->location, d->icon, d->health}.join('|');
}

SMARTDrive summary(const char *bsd, const char *model, const QVariant &health, const QStringList &volumes = {},
                   const char *location = "Internal")
{
    return *SMARTDrive::fromProperties(driveProperties(bsd, model, health, volumes, location));
}

} // namespace

TEST(SMARTDrive, SummaryFromDriveProperties)
{
    const SMARTDrive d = summary("sdb", "WDC WD40EFRX", QStringLiteral("Failed"), {"Data", "Data Backup"}, "External");
    EXPECT_EQ(fields(d), "sdb|WDC WD40EFRX|Data, Data Backup|Data;Data Backup|External|drive-harddisk|Failed");
    EXPECT_FALSE(d.id.isNull());

    for (const QVariant &health : {QVariant(), QVariant(3), QVariant(QString())})
        EXPECT_EQ(summary("sda", "m", health).health, "-");
    EXPECT_FALSE(summary("sda", "m", {}) == summary("sda", "m", {}));

    // Dictionaries the summary can't name are left out; odd value types read empty.
    EXPECT_FALSE(SMARTDrive::fromProperties({}));
    EXPECT_FALSE(SMARTDrive::fromProperties({{"bsdName", 7}}));
    EXPECT_EQ(fields(SMARTDrive::fromProperties(
                  {{"bsdName", "sdc"}, {"volumes", "not a list"}, {"Device Model", QVariantList{}}, {"diskIcon", QVariantMap{}}})),
              "sdc||||||-");
    EXPECT_EQ(SMARTDrive::fromProperties(
                  {{"bsdName", "sdc"}, {"volumes", QVariantList{"text", QVariantMap{{"name", 5}}, QVariantMap{{"name", "X"}}}}})
                  ->volName,
              "X"); // only named volumes are joined
}

TEST(SMARTDrive, WidgetDataFileForm)
{
    EXPECT_EQ(encodeDrivesForWidget({}), "[]");
    QList<SMARTDrive> drives{summary("sda", "Samsung SSD 870", QStringLiteral("Passed"), {"Système", "日本語"}),
                             summary("sdb", "ST4000", QVariant(), {}, "External")};
    const QByteArray text = encodeDrivesForWidget(drives);
    EXPECT_FALSE(text.contains('\n'));
    EXPECT_FALSE(text.contains(": ")); // compact
    EXPECT_TRUE(text.contains("Syst\xc3\xa8me")); // UTF-8, not \u escapes

    const QJsonArray array = QJsonDocument::fromJson(text).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[0]["id"].toString(), drives[0].id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(array[1].toObject().toVariantMap(),
              (QVariantMap{{"bsdName", "sdb"}, {"health", "-"}, {"hwName", "ST4000"}, {"id", array[1]["id"].toString()},
                           {"location", "External"}, {"volName", ""}}));

    // Read back field for field in natural order (nvme2n1 before nvme10n1, sdz before sdaa).
    for (const char *bsd : {"nvme10n1", "sdz", "nvme2n1", "sdaa"})
        drives.append(summary(bsd, bsd, QStringLiteral("Failed"), {"V"}));
    const std::optional<QList<SMARTDrive>> read = decodeDrivesForWidget(encodeDrivesForWidget(drives));
    ASSERT_TRUE(read.has_value());
    QStringList order;
    for (const SMARTDrive &d : *read) {
        order << d.bsdName;
        const auto written = std::find(drives.cbegin(), drives.cend(), d); // by id
        ASSERT_NE(written, drives.cend()) << qPrintable(d.bsdName);
        SMARTDrive expected = *written;
        expected.icon.clear(); // never written
        EXPECT_EQ(fields(d), fields(expected));
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
    const auto written = [&] {
        QFile file(container + "data.json");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    };

    const QList<SMARTDrive> drives{summary("sda", "m", QStringLiteral("Warning"))};
    EXPECT_EQ(writeDrivesForWidget(drives, container, agent), WidgetWrite::Written);
    EXPECT_EQ(written(), encodeDrivesForWidget(drives));
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 1; }));
    EXPECT_EQ(widget.kinds.first(), "Corvane_Widget");

    EXPECT_EQ(writeDrivesForWidget({}, container, agent), WidgetWrite::Written);
    EXPECT_EQ(written(), "[]");
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 2; }));

    // No container (its place is taken by a file): nothing written, no reload.
    ASSERT_TRUE(writeFile(home.filePath("blocked"), {}));
    EXPECT_EQ(writeDrivesForWidget(drives, home.filePath("blocked/group"), agent), WidgetWrite::NoContainer);
    EXPECT_EQ(writeDrivesForWidget(drives, QString(), agent), WidgetWrite::NoContainer);
    // A later reload would arrive after this marker one.
    requestWidgetReload(agent);
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 3; }));

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
    EXPECT_EQ(writeDrivesForWidget({summary("sdb", "new", QStringLiteral("Failed"))}, container, agent),
              WidgetWrite::WriteFailed);
    EXPECT_EQ(written(), encodeDrivesForWidget(drives));
    EXPECT_EQ(QDir(container).entryList(QDir::Files | QDir::Hidden), QStringList{"data.json"});
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 4; }));

    if (geteuid() == 0)
        umount(container.toUtf8());
    else
        QFile::setPermissions(container, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
