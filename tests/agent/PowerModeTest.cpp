// SPDX-License-Identifier: GPL-3.0-or-later
// Sleeping drives: the power mode a drive answers, and gathers over a copy of
// the demo set whose disks say they are asleep.
#include "AgentDriveSource.h"
#include "AgentTestSupport.h"
#include "DrivePanel.h"
#include "SMARTWatcher.h"
#include "devices/RecordingFakes.h"
#include "drive/PowerMode.h"
#include "platform/DeviceStatus.h"
#include "platform/SharedDefaults.h"
#include "platform/recorded/RecordedAtaSmart.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>

using namespace corvane;
using namespace corvane::test;

namespace {

constexpr int64_t kHour = 3600 * 1000;

TEST(PowerMode, CountsStatusesAndTheCommandOnTheWire)
{
    const std::pair<uint8_t, PowerMode> counts[] = {
        {0x00, PowerMode::Standby}, {0x01, PowerMode::Standby}, {0x40, PowerMode::Standby},
        {0x41, PowerMode::Active},  {0x80, PowerMode::Idle},    {0x83, PowerMode::Idle},
        {0xFF, PowerMode::Active},  {0x02, PowerMode::Unknown}, {0x84, PowerMode::Unknown},
        {0x7F, PowerMode::Unknown}, {0xFE, PowerMode::Unknown},
    };
    for (const auto &[count, mode] : counts)
        EXPECT_EQ(powerModeFromCount(count), mode) << int(count);
    EXPECT_EQ(powerModeOf(kStatusSuccess, 0x00), PowerMode::Standby);
    // Only a stopped unit counts as asleep; any other failure reads the drive.
    EXPECT_EQ(powerModeOf(statusFromSense(0x2, 0x04, 0x02), 0xFF), PowerMode::Sleep);
    EXPECT_EQ(powerModeOf(statusFromSense(0x2, 0x04, 0x01), 0x00), PowerMode::Unknown);
    EXPECT_EQ(powerModeOf(statusFromAtaRegisters(0x51, 0x04), 0x00), PowerMode::Unknown);
    EXPECT_EQ(powerModeOf(statusFromErrno(EOPNOTSUPP), 0x00), PowerMode::Unknown);
    EXPECT_TRUE(isAsleep(PowerMode::Sleep));
    EXPECT_FALSE(isAsleep(PowerMode::Idle));
    EXPECT_FALSE(isAsleep(PowerMode::Unknown));

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
    // A bridge that returns no registers can't say; the count stays.
    log.answers.push_back(answer(0));
    count = 0xAA;
    EXPECT_EQ(ata.checkPowerMode(count), kStatusNoAtaRegisters);
    EXPECT_EQ(count, 0xAA);

    // Rotating means a hard disk, never an NVMe drive.
    EXPECT_TRUE(isRotatingDrive({{"Drive Type", "HDD 7200 rpm"}}));
    EXPECT_TRUE(isRotatingDrive({{"Drive Type", "3.5 inch HDD 5400 rpm"}, {"isNVMe", false}}));
    EXPECT_FALSE(isRotatingDrive({{"Drive Type", "SSD "}}));
    EXPECT_FALSE(isRotatingDrive({{"Drive Type", ""}}));
}

TEST(PowerMode, RecordedModes)
{
    QTemporaryDir dir;
    const auto modeOf = [&](const QByteArray &text) {
        QFile file(dir.filePath("power_mode.txt"));
        if (!text.isNull()) {
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text);
            file.close();
        }
        uint8_t count = 0x55;
        const int32_t status = RecordedAtaSmart(dir.path()).checkPowerMode(count);
        file.remove();
        return std::make_pair(status, count);
    };
    EXPECT_EQ(modeOf(QByteArray()), std::make_pair(kStatusSuccess, uint8_t(0xFF)));
    EXPECT_EQ(modeOf("standby\n"), std::make_pair(kStatusSuccess, uint8_t(0x00)));
    EXPECT_EQ(modeOf("Idle"), std::make_pair(kStatusSuccess, uint8_t(0x80)));
    EXPECT_EQ(modeOf("active"), std::make_pair(kStatusSuccess, uint8_t(0xFF)));
    EXPECT_EQ(modeOf("0x81"), std::make_pair(kStatusSuccess, uint8_t(0x81)));
    EXPECT_EQ(modeOf("sleep").first, statusFromSense(0x2, 0x04, 0x02));
    EXPECT_EQ(modeOf("0x100"), std::make_pair(kStatusUnexpectedAnswer, uint8_t(0x55)));
    EXPECT_EQ(modeOf("dozing"), std::make_pair(kStatusUnexpectedAnswer, uint8_t(0x55)));
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

struct SleepingDrives : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(copyTree(QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo"), set()));
        watcher.setWakeClock([this] { return now; });
        watcher.setContainer(home.filePath("group"));
        QObject::connect(&watcher, &SMARTWatcher::drivesRead, [this](const QList<QVariantMap> &drives) {
            read.clear();
            for (const QVariantMap &d : drives)
                if (!d.value(kAsleepKey).toBool() && d.contains("attributeHealth"))
                    read.append(d.value("bsdName").toString());
            asleepProperties.clear();
            for (const QVariantMap &d : drives)
                if (d.value(kAsleepKey).toBool())
                    asleepProperties.insert(d.value("bsdName").toString(), d);
        });
    }
    QString set() const { return home.filePath("set"); }
    void mode(const char *bsd, const QByteArray &word)
    {
        QFile file(set() + "/drives/" + bsd + "/power_mode.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(word);
    }
    // bsdName health, with "zzz" for a drive shown asleep.
    QStringList shown() const
    {
        QStringList out;
        for (const SMARTDrive &d : watcher.smartDrives())
            out.append(d.bsdName + ' ' + d.health + (d.asleep ? " zzz" : ""));
        return out;
    }
    QJsonArray dataFile() const
    {
        QFile f(home.filePath("group/data.json"));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
    }

    QTemporaryDir home;
    SharedDefaults defaults{home.filePath("suite.conf")};
    std::unique_ptr<DriveSource> source = makeDriveSource([this] {
        QString error;
        return DrivePlatform::recorded(set(), &error);
    });
    SMARTWatcher watcher{*source, defaults};
    int64_t now = 10 * kHour;
    QStringList read;
    QMap<QString, QVariantMap> asleepProperties;
};

const QStringList kAllRead = {"nvme0n1 Passed", "nvme1n1 Failed", "sda Passed", "sdb Warning",
                              "sdc Failed",     "sdd Passed",     "sde Passed", "sdf -"};

} // namespace

TEST_F(SleepingDrives, StandbyAndSleepSkippedUntilARescanThenTheirLastSummaryStays)
{
    mode("sda", "standby");
    mode("sdb", "sleep");
    mode("sdc", "idle");
    mode("sdd", "active");
    mode("sde", "standby"); // a solid-state drive is never asked

    // Never read yet and asleep: listed with "-"; idle and active disks are read.
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown(), QStringList({"nvme0n1 Passed", "nvme1n1 Failed", "sda - zzz", "sdb - zzz", "sdc Failed",
                                    "sdd Passed", "sde Passed", "sdf -"}));
    EXPECT_EQ(read, QStringList({"nvme0n1", "nvme1n1", "sdc", "sdd", "sde"}));
    // Nothing but the settings: no page of a sleeping drive was asked for.
    EXPECT_FALSE(asleepProperties["sda"].contains("powerOnHours"));
    EXPECT_FALSE(asleepProperties["sda"].contains("ataVersion"));
    EXPECT_EQ(asleepProperties["sda"].value("Device Model").toString(), "WDC WD2500JS-75NCB3");

    // "Rescan Drives" reads every drive, asleep or not.
    watcher.rescan();
    ASSERT_TRUE(waitUntil([&] { return watcher.isIdle() && !read.isEmpty() && read.contains("sda"); }));
    EXPECT_EQ(shown(), kAllRead);

    // Asleep again at the next gather: the last summary stays, marked asleep,
    // and the drive's properties are those of its last read.
    ASSERT_TRUE(watcher.gatherSMARTDrives(true));
    EXPECT_EQ(shown(), QStringList({"nvme0n1 Passed", "nvme1n1 Failed", "sda Passed zzz", "sdb Warning zzz",
                                    "sdc Failed", "sdd Passed", "sde Passed", "sdf -"}));
    EXPECT_EQ(asleepProperties["sdb"].value("attributeHealth").toString(), "Warning");
    EXPECT_TRUE(asleepProperties["sdb"].contains("powerOnHours"));

    // The widget data file carries the mark only for the sleepers.
    const QJsonArray file = dataFile();
    ASSERT_EQ(file.size(), 8);
    QStringList marked;
    for (const QJsonValue &v : file) {
        const QJsonObject o = v.toObject();
        EXPECT_EQ(o.size(), o.contains("asleep") ? 7 : 6);
        if (o.value("asleep").toBool())
            marked.append(o.value("bsdName").toString() + ' ' + o.value("health").toString());
    }
    EXPECT_EQ(marked, QStringList({"sda Passed", "sdb Warning"}));
    const std::optional<QList<SMARTDrive>> decoded = decodeDrivesForWidget(encodeDrivesForWidget(watcher.smartDrives()));
    ASSERT_TRUE(decoded);
    EXPECT_TRUE((*decoded)[2].asleep);
    EXPECT_FALSE((*decoded)[4].asleep);

    // The panel row says so on its third line.
    DriveRow sdaRow(watcher.smartDrives()[2]);
    EXPECT_EQ(sdaRow.lines(), QStringList({"sda", "WDC WD2500JS-75NCB3", "Data · asleep"}));
    DriveRow sdbRow(watcher.smartDrives()[3]);
    EXPECT_EQ(sdbRow.lines()[2], "asleep");

    // Awake again: read as usual.
    mode("sda", "0xFF");
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown()[2], "sda Passed");
}

TEST_F(SleepingDrives, WakeAtMostEveryNHours)
{
    mode("sda", "standby");
    defaults.setValue(kWakeSleepingDrivesKey, 2);

    // Waking is allowed and the drive was never read: it is read now.
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown()[2], "sda Passed");
    EXPECT_TRUE(read.contains("sda"));

    // Within two hours of that read it is left asleep.
    now += 2 * kHour - 1;
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown()[2], "sda Passed zzz");
    EXPECT_FALSE(read.contains("sda"));

    // Two hours after the last read it is due; then the clock starts again.
    now += 1;
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown()[2], "sda Passed");
    now += kHour;
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown()[2], "sda Passed zzz");

    // Back to never: not even hours later.
    defaults.setValue(kWakeSleepingDrivesKey, 0);
    now += 100 * kHour;
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown()[2], "sda Passed zzz");
    // A stored value that is no number reads as never.
    defaults.setValue(kWakeSleepingDrivesKey, "often");
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    EXPECT_EQ(shown()[2], "sda Passed zzz");
    // An explicit rescan ignores the schedule.
    ASSERT_TRUE(watcher.gatherSMARTDrives(false, true));
    EXPECT_EQ(shown()[2], "sda Passed");
}
