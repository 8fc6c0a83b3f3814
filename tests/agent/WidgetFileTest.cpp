// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"

namespace {

QString fields(const std::optional<SMARTDrive> &d)
{
    return d ? QStringList{d->bsdName, d->hwName, d->volName, d->volumeNames.join(';'), d->location, d->icon, d->health}.join('|')
             : QStringLiteral("(none)");
}

} // namespace

TEST(SMARTDrive, SummaryWidgetDataFileFormAndItsWritingWithAReloadRequest)
{
    const SMARTDrive d = summary("sdb", "WDC WD40EFRX", "Failed", {"Data", "Data Backup"}, "External");
    EXPECT_EQ(fields(d), "sdb|WDC WD40EFRX|Data, Data Backup|Data;Data Backup|External|drive-harddisk|Failed");
    EXPECT_FALSE(d.id.isNull());

    for (const QVariant &health : {QVariant(), QVariant(3), QVariant(QString())})
        EXPECT_EQ(summary("sda", "m", health).health, "-");
    EXPECT_FALSE(summary("sda", "m", {}) == summary("sda", "m", {}));

    EXPECT_FALSE(SMARTDrive::fromProperties({}));
    EXPECT_FALSE(SMARTDrive::fromProperties({{"bsdName", 7}}));
    EXPECT_EQ(fields(SMARTDrive::fromProperties(
                  {{"bsdName", "sdc"}, {"volumes", "not a list"}, {"Device Model", QVariantList{}}, {"diskIcon", QVariantMap{}}})),
              "sdc||||||-");
    EXPECT_EQ(SMARTDrive::fromProperties(
                  {{"bsdName", "sdc"}, {"volumes", QVariantList{"text", QVariantMap{{"name", 5}}, QVariantMap{{"name", "X"}}}}})
                  ->volName,
              "X"); // only named volumes are joined

    EXPECT_EQ(encodeDrivesForWidget({}), "[]");
    QList<SMARTDrive> drives{summary("sda", "Samsung SSD 870", "Passed", {"Système", "日本語"}),
                             summary("sdb", "ST4000", QVariant(), {}, "External")};
    const auto id = [&](int i) { return drives[i].id.toString(QUuid::WithoutBraces).toUpper(); };
    EXPECT_EQ(QString::fromUtf8(encodeDrivesForWidget(drives)), // compact UTF-8, not \u escapes
              QStringLiteral(R"([{"bsdName":"sda","health":"Passed","hwName":"Samsung SSD 870","id":"%1","location":"Internal",)"
                             R"("volName":"Système, 日本語"},{"bsdName":"sdb","health":"-","hwName":"ST4000","id":"%2",)"
                             R"("location":"External","volName":""}])").arg(id(0), id(1)));

    for (const char *bsd : {"nvme10n1", "sdz", "nvme2n1", "sdaa"})
        drives.append(summary(bsd, bsd, "Failed", {"V"}));
    QStringList back;
    for (const SMARTDrive &d : decodeDrivesForWidget(encodeDrivesForWidget(drives)).value_or(QList<SMARTDrive>()))
        back << fields(d) + (drives.contains(d) ? "" : " (new id)");
    EXPECT_EQ(back, QStringList({"nvme2n1|nvme2n1|V|V|Internal||Failed", "nvme10n1|nvme10n1|V|V|Internal||Failed",
                                 "sda|Samsung SSD 870|Système, 日本語|Système;日本語|Internal||Passed",
                                 "sdb|ST4000|||External||-", "sdz|sdz|V|V|Internal||Failed", "sdaa|sdaa|V|V|Internal||Failed"}));

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

    const QList<SMARTDrive> one{summary("sda", "m", "Warning")};
    EXPECT_EQ(writeDrivesForWidget(one, container, agent), WidgetWrite::Written);
    EXPECT_EQ(written(), encodeDrivesForWidget(one));
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 1; }));
    EXPECT_EQ(widget.kinds.first(), "Corvane_Widget");

    EXPECT_EQ(writeDrivesForWidget({}, container, agent), WidgetWrite::Written);
    EXPECT_EQ(written(), "[]");
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 2; }));

    ASSERT_TRUE(writeFile(home.filePath("blocked"), {}));
    EXPECT_EQ(writeDrivesForWidget(one, home.filePath("blocked/group"), agent), WidgetWrite::NoContainer);
    EXPECT_EQ(writeDrivesForWidget(one, QString(), agent), WidgetWrite::NoContainer);
    requestWidgetReload(agent); // a reload from the writes above would arrive before this one
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 3; }));

    EXPECT_EQ(writeDrivesForWidget(one, container, QDBusConnection(QStringLiteral("nothing"))), WidgetWrite::Written);

    if (geteuid() == 0) {
        // Root writes through file modes; a read-only bind mount stops it.
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount(container.toUtf8(), container.toUtf8(), nullptr, MS_BIND, nullptr) != 0
            || mount("none", container.toUtf8(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            GTEST_SKIP() << "cannot make a read-only mount here (no private mount namespace)";
    } else {
        ASSERT_TRUE(QFile::setPermissions(container, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    EXPECT_EQ(writeDrivesForWidget({summary("sdb", "new", "Failed")}, container, agent),
              WidgetWrite::WriteFailed);
    EXPECT_EQ(written(), encodeDrivesForWidget(one));
    EXPECT_EQ(QDir(container).entryList(QDir::Files | QDir::Hidden), QStringList{"data.json"});
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 4; }));

    if (geteuid() == 0)
        umount(container.toUtf8());
    else
        QFile::setPermissions(container, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
