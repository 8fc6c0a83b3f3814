// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "devices/RecordingFakes.h"
#include "drive/PowerMode.h"
#include "platform/DeviceStatus.h"

namespace {

constexpr int64_t kHour = 3600 * 1000;

TEST(PowerMode, CountsStatusesAndTheCommandOnTheWire)
{
    using enum PowerMode;
    QList<PowerMode> modes;
    for (int count : {0x00, 0x01, 0x40, 0x41, 0x80, 0x83, 0xFF, 0x02, 0x84, 0x7F, 0xFE})
        modes << powerModeFromCount(uint8_t(count));
    EXPECT_EQ(modes, QList<PowerMode>({Standby, Standby, Standby, Active, Idle, Idle, Active, Unknown, Unknown, Unknown, Unknown}));
    // Only a stopped unit counts as asleep; any other failure reads the drive.
    EXPECT_EQ(QList<PowerMode>({powerModeOf(statusFromSense(0x2, 0x04, 0x02), 0xFF), powerModeOf(statusFromSense(0x2, 0x04, 0x01), 0),
                                powerModeOf(statusFromAtaRegisters(0x51, 0x04), 0), powerModeOf(statusFromErrno(EOPNOTSUPP), 0)}),
              QList<PowerMode>({Sleep, Unknown, Unknown, Unknown}));

    // Non-data with CK_COND; the mode comes back in the count register.
    ScsiLog log;
    AtaPassThroughSmart ata{std::make_unique<RecordingScsiTransport>(log)};
    log.answers.push_back(answer(0, 0x02, {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0, 0, 0x01, 0x80, 0,
                                           0, 0, 0, 0, 0, 0, 0x50}));
    uint8_t count = 0xAA;
    EXPECT_EQ(ata.checkPowerMode(count), kStatusSuccess);
    EXPECT_EQ(count, 0x80);
    ASSERT_EQ(log.cdbs.size(), 1u);
    EXPECT_EQ(log.cdbs[0], std::vector<uint8_t>({0x85, 0x06, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE5, 0}));
    EXPECT_FALSE(log.requests[0].dataIn);
    log.answers.push_back(answer(0));
    count = 0xAA;
    EXPECT_EQ(ata.checkPowerMode(count), kStatusNoAtaRegisters);
    EXPECT_EQ(count, 0xAA);

    EXPECT_TRUE(isRotatingDrive({{"Drive Type", "3.5 inch HDD 5400 rpm"}}));
    EXPECT_FALSE(isRotatingDrive({{"Drive Type", "HDD "}, {"isNVMe", true}}));
}

struct SleepingDrives : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_EQ(QProcess::execute("cp", {"-R", QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo"), set()}), 0);
        watcher.setWakeClock([this] { return now; });
        watcher.setContainer(home.filePath("group"));
        QObject::connect(&watcher, &SMARTWatcher::drivesRead, [this](const QList<QVariantMap> &drives) {
            for (const QVariantMap &d : drives)
                properties.insert(d.value("bsdName").toString(), d);
        });
    }
    QString set() const { return home.filePath("set"); }
    void mode(const char *bsd, const QByteArray &word) { ASSERT_TRUE(writeFile(set() + "/drives/" + bsd + "/power_mode.txt", word)); }
    QStringList shown() const
    {
        QStringList out;
        for (const SMARTDrive &d : watcher.smartDrives())
            out.append(d.bsdName + ' ' + d.health + (d.asleep ? " zzz" : ""));
        return out;
    }
    QString sdaAfterGather(bool rescan = false) { return watcher.gatherSMARTDrives(false, rescan) ? shown().value(2) : "(no gather)"; }

    QTemporaryDir home;
    SharedDefaults defaults{home.filePath("suite.conf")};
    std::unique_ptr<DriveSource> source = makeDriveSource([this] {
        QString error;
        return DrivePlatform::recorded(set(), &error);
    });
    SMARTWatcher watcher{*source, defaults};
    int64_t now = 10 * kHour;
    QMap<QString, QVariantMap> properties; // of the last gather
};

} // namespace

TEST_F(SleepingDrives, StandbyAndSleepSkippedUntilARescanThenTheirLastSummaryStays)
{
    // sdd's answer can't be read: the drive is read; sde, a solid-state drive, is never asked.
    for (const auto &[bsd, word] : {std::pair{"sda", "standby"}, {"sdb", "sleep"}, {"sdc", "idle"}, {"sdd", "dozing"},
                                    {"sde", "standby"}})
        mode(bsd, word);

    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown(), QStringList({"nvme0n1 Passed", "nvme1n1 Failed", "sda - zzz", "sdb - zzz", "sdc Failed",
                                    "sdd Warning", "sde Passed", "sdf -"}));
    EXPECT_FALSE(properties["sda"].contains("ataVersion"));
    EXPECT_EQ(properties["sda"].value("Device Model").toString(), "WDC WD2500JS-75NCB3");

    watcher.rescan();
    ASSERT_TRUE(waitUntil([&] { return watcher.isIdle() && shown()[3] == "sdb Warning"; }));
    EXPECT_EQ(shown()[2], "sda Passed");

    QStringList sampled;
    QObject::connect(&watcher, &SMARTWatcher::sampled,
                     [&](const QList<HistorySample> &samples) { for (const HistorySample &s : samples) sampled << s.bsdName; });
    ASSERT_TRUE(watcher.gatherSMARTDrives(true));
    EXPECT_EQ(sampled, QStringList({"nvme0n1", "nvme1n1", "sdc", "sdd", "sde", "sdf"}));
    EXPECT_EQ(shown(), QStringList({"nvme0n1 Passed", "nvme1n1 Failed", "sda Passed zzz", "sdb Warning zzz",
                                    "sdc Failed", "sdd Warning", "sde Passed", "sdf -"}));
    EXPECT_TRUE(properties["sdb"].contains("ataVersion"));

    QFile file(home.filePath("group/data.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray json = file.readAll();
    EXPECT_EQ(json.count("\"asleep\""), 2);
    QList<bool> marks;
    for (const SMARTDrive &d : decodeDrivesForWidget(json).value_or(QList<SMARTDrive>()))
        marks.append(d.asleep);
    EXPECT_EQ(marks, QList<bool>({false, false, true, true, false, false, false, false}));

    EXPECT_EQ(DriveRow(watcher.smartDrives()[2]).lines(), QStringList({"sda", "WDC WD2500JS-75NCB3", "Shared · asleep"}));
    SMARTDrive noVolumes("sdx", "M", "", "Internal", "", "-");
    noVolumes.asleep = true;
    EXPECT_EQ(DriveRow(noVolumes).lines()[2], "asleep");

    mode("sda", "0xFF");
    EXPECT_EQ(sdaAfterGather(), "sda Passed");
}

TEST_F(SleepingDrives, WakeAtMostEveryNHours)
{
    mode("sda", "standby");
    defaults.setValue(kWakeSleepingDrivesKey, 2);

    EXPECT_EQ(sdaAfterGather(), "sda Passed");

    now += 2 * kHour - 1;
    EXPECT_EQ(sdaAfterGather(), "sda Passed zzz");

    now += 1;
    EXPECT_EQ(sdaAfterGather(), "sda Passed");
    now += kHour;
    EXPECT_EQ(sdaAfterGather(), "sda Passed zzz");

    defaults.setValue(kWakeSleepingDrivesKey, 0);
    now += 100 * kHour;
    EXPECT_EQ(sdaAfterGather(), "sda Passed zzz");
    defaults.setValue(kWakeSleepingDrivesKey, "often");
    EXPECT_EQ(sdaAfterGather(), "sda Passed zzz");
    EXPECT_EQ(sdaAfterGather(true), "sda Passed");
}
