// SPDX-License-Identifier: GPL-3.0-or-later
// The recorded seams (tests, demo, bug reports) and the recorder that makes their sets.
#include "RecordedSet.h"
#include "platform/DeviceStatus.h"
#include "platform/recorded/PageRecorder.h"
#include "platform/recorded/RecordedAtaSmart.h"
#include "platform/recorded/RecordedNvme.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kIntel = "ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/";
const QString kMaxtorFailing = "ata-pages/Maxtor_96147H8--BAC51KJ0--2/";

QByteArray asBytes(std::span<const uint8_t> p)
{
    return QByteArray(reinterpret_cast<const char *>(p.data()), qsizetype(p.size()));
}

} // namespace

// (The session tests compare every real drive this seam serves with its decoded files.)
TEST(RecordedAtaSmart, AnswersFromItsFilesAndFailsLikeADriveOrAVanishedOne)
{
    RecordedSet set;
    set.copyAtaPages("sda", kIntel);
    int32_t status = -1;
    auto ata = recordedAtaSmartOpener(set.path())("sda", status);
    ASSERT_TRUE(ata);
    Page page;
    page.fill(0xEE);
    EXPECT_EQ(ata->readLogAtAddress(1, page), statusFromAtaRegisters(0x51, 0x04)); // not recorded
    EXPECT_EQ(page[0], 0xEE);
    EXPECT_EQ(ata->readData(page), 0);
    EXPECT_EQ(asBytes(page), readData(kIntel + "smart.bin"));
    // Without self-test support the command aborts; without a page it is short.
    QByteArray smart = readData(kIntel + "smart.bin");
    smart[367] = char(uint8_t(smart[367]) & ~0x10);
    set.put("sda", "smart.bin", smart);
    EXPECT_EQ(ata->executeOffLineImmediate(true), statusFromAtaRegisters(0x51, 0x04));
    set.put("sda", "smart.bin", QByteArray());
    EXPECT_EQ(ata->executeOffLineImmediate(true), kStatusShortTransfer);

    set.copyAtaPages("sdb", kMaxtorFailing);
    RecordedAtaSmart failing(set.drive("sdb"));
    bool exceeded = false;
    EXPECT_EQ(failing.returnStatus(exceeded), 0);
    EXPECT_TRUE(exceeded);
    set.put("sdb", "smart_status.txt", "maybe");
    EXPECT_EQ(failing.returnStatus(exceeded), kStatusUnexpectedAnswer);
    QFile::remove(QDir(set.drive("sdb")).filePath("smart_status.txt"));
    EXPECT_EQ(failing.returnStatus(exceeded), kStatusNoAtaRegisters);
    page = Page{};
    set.put("sdb", "thresholds.bin", QByteArray(300, 'x'));
    EXPECT_EQ(failing.readDataThresholds(page), kStatusShortTransfer);
    EXPECT_EQ(page, Page{});
    smart = readData(kMaxtorFailing + "smart.bin");
    smart[100] = char(smart[100] + 1);
    set.put("sdb", "smart.bin", smart);
    EXPECT_EQ(failing.readData(page), 0);
    EXPECT_EQ(failing.validateReadData(page), kStatusBadChecksum);

    set.copyAtaPages("sdc", kIntel);
    set.put("sdc", "unreadable", "EACCES\n");
    const AtaSmartOpener open = recordedAtaSmartOpener(set.path());
    EXPECT_EQ(open("sdc", status), nullptr);
    EXPECT_TRUE(isPrivilegeStatus(status));
    // Used directly, every operation fails the same way.
    RecordedAtaSmart denied(set.drive("sdc"));
    page = Page{};
    for (const int32_t got : {denied.enableDisableOperations(true), denied.getIdentifyData(page), denied.readData(page),
                              denied.readDataThresholds(page), denied.readLogAtAddress(6, page),
                              denied.returnStatus(exceeded), denied.executeOffLineImmediate(false)})
        EXPECT_EQ(got, statusFromErrno(EACCES));
    EXPECT_EQ(page, Page{});

    set.put("sdc", "unreadable", "ENOTANERRNO");
    EXPECT_EQ(denied.readData(page), statusFromErrno(EIO));

    // The drive disappears between enumeration and read.
    EXPECT_EQ(open("sdz", status), nullptr);
    EXPECT_TRUE(isNoDeviceStatus(status));
    EXPECT_EQ(open("../sdc", status), nullptr);
    EXPECT_EQ(status, kStatusNoDevice);
    set.copyAtaPages("sdd", kIntel);
    auto gone = open("sdd", status);
    ASSERT_TRUE(gone);
    QDir(set.drive("sdd")).removeRecursively();
    EXPECT_TRUE(isNoDeviceStatus(gone->readData(page)));
}

TEST(RecordedAtaSmart, SelfTestRunsInSimulatedTime)
{
    RecordedSet set;
    set.copyAtaPages("sda", kIntel);
    int64_t now = 1000; // a simulation is the drive folder's, so each test has its own
    const AtaSmartOpener open = recordedAtaSmartOpener(set.path(), [&now] { return now; });
    int32_t status = 0;
    auto ata = open("sda", status);
    ASSERT_TRUE(ata);
    const QByteArray smartOnDisk = set.file("sda", "smart.bin");
    const QByteArray logOnDisk = set.file("sda", "smartlog-06-selftest.bin");

    Page page{};
    ASSERT_EQ(ata->readData(page), 0);
    EXPECT_EQ(page[363], 0x00);
    ASSERT_EQ(ata->executeOffLineImmediate(false), 0);

    // In progress with falling remaining tenths, checksum kept valid.
    std::vector<uint8_t> progress;
    for (; now < 1000 + RecordedAtaSmart::kShortTestMs; now += 500) {
        ASSERT_EQ((std::vector{ata->readData(page), ata->validateReadData(page)}), std::vector<int32_t>(2, 0));
        progress.push_back(page[363]);
    }
    EXPECT_EQ(progress, (std::vector<uint8_t>{0xF9, 0xF9, 0xF8, 0xF7, 0xF5, 0xF4, 0xF3, 0xF2}));

    now = 1000 + RecordedAtaSmart::kShortTestMs;
    ASSERT_EQ(ata->readData(page), 0);
    EXPECT_EQ(page[363], 0x00);
    EXPECT_EQ(ata->validateReadData(page), 0);

    // One entry after the recorded newest (3): a short off-line test completed without error.
    Page testLog{};
    ASSERT_EQ(ata->readLogAtAddress(6, testLog), 0);
    EXPECT_EQ(std::tuple(testLog[508], testLog[2 + 3 * 24], testLog[3 + 3 * 24]), std::tuple(4, 0x01, 0x00));
    EXPECT_TRUE(ataChecksumValid(testLog));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(testLog.data()), 2 + 3 * 24), logOnDisk.left(2 + 3 * 24));

    // A later session on the same drive sees the result; nothing was written.
    auto later = open("sda", status);
    Page again{};
    ASSERT_EQ((std::vector{later->readLogAtAddress(6, again), later->readData(page)}), std::vector<int32_t>(2, 0));
    EXPECT_EQ(std::tuple(again, page[363], set.file("sda", "smart.bin"), set.file("sda", "smartlog-06-selftest.bin")),
              std::tuple(testLog, 0x00, smartOnDisk, logOnDisk));

    // An extended test takes longer and is logged as such.
    ASSERT_EQ(later->executeOffLineImmediate(true), 0);
    now += RecordedAtaSmart::kShortTestMs;
    ASSERT_EQ(later->readData(page), 0);
    EXPECT_EQ(page[363] >> 4, 0xF);
    now += RecordedAtaSmart::kExtendedTestMs;
    // The end is logged even when nobody looked at the status byte.
    ASSERT_EQ(later->readLogAtAddress(6, testLog), 0);
    EXPECT_EQ(std::tuple(testLog[508], testLog[2 + 4 * 24]), std::tuple(5, 0x02));

    // A failing drive without a self-test log gains one.
    set.copyAtaPages("sdb", kMaxtorFailing);
    RecordedAtaSmart maxtor(set.drive("sdb"), [&now] { return now; });
    EXPECT_NE(maxtor.readLogAtAddress(6, testLog), 0);
    ASSERT_TRUE(uint8_t(set.file("sdb", "smart.bin")[367]) & 0x10); // it offers self-tests
    ASSERT_EQ(maxtor.executeOffLineImmediate(false), 0);
    now += RecordedAtaSmart::kShortTestMs;
    ASSERT_EQ(maxtor.readData(page), 0);
    EXPECT_EQ(page[363], 0x73);
    ASSERT_EQ(maxtor.readLogAtAddress(6, testLog), 0);
    EXPECT_EQ(std::tuple(testLog[0], testLog[508], testLog[3]), std::tuple(1, 1, 0x73));
    EXPECT_TRUE(ataChecksumValid(testLog));

    // Aborting ends a running test as aborted by the host; at its end it changes nothing.
    for (const auto &[after, result] : {std::pair(RecordedAtaSmart::kShortTestMs / 2, 0x10), std::pair(RecordedAtaSmart::kShortTestMs, 0x73)}) {
        ASSERT_EQ(maxtor.executeOffLineImmediate(false), 0);
        now += after;
        ASSERT_EQ((std::vector{maxtor.abortSelfTest(), maxtor.readData(page)}), std::vector<int32_t>(2, 0));
        EXPECT_EQ(page[363], result) << after;
    }
}

TEST(RecordedNvme, ServesTheRecordedBlocks)
{
    RecordedSet set;
    set.copyQemuNvme("nvme0n1");
    int32_t status = -1;
    auto nvme = recordedNvmeOpener(set.path())("nvme0n1", status);
    ASSERT_TRUE(nvme && status == 0);
    std::vector<uint8_t> identify(4096), page(512), smart(512), errors(16384, 0);
    // The error file holds four entries: one is asked for and only it is copied; more is a short transfer.
    errors[64] = 0x77;
    EXPECT_EQ((std::vector{nvme->identifyController(identify), nvme->smartReadData(smart),
                           nvme->getLogPage(nvme::kLogFirmwareSlot, page, 128), nvme->getLogPage(nvme::kLogError, errors, 16)}),
              std::vector<int32_t>(4, 0));
    EXPECT_EQ(std::tuple(asBytes(identify), asBytes(smart), asBytes(page), errors[64], nvme->interfaceVersion(),
                         nvme->interfaceRevision()),
              std::tuple(readData("nvme-qemu/nvme0-id-ctrl.bin"), readData("nvme-qemu/nvme0-log02-smart.bin"),
                         readData("nvme-qemu/nvme0-log03-fwslot.bin"), 0x77, 1, 4));
    EXPECT_EQ((std::vector{nvme->getLogPage(nvme::kLogError, errors, 4096), nvme->getLogPage(0x05, page, 128),
                           nvme->getLogPage(2, page, 129)}),
              (std::vector{kStatusShortTransfer, statusFromNvme(0x4002), kStatusBadArgument}));

    // A missing block, a short one, an unreadable drive and a vanished one.
    QFile::remove(QDir(set.drive("nvme0n1")).filePath("nvme-log03-fwslot.bin"));
    std::fill(page.begin(), page.end(), 0xAB);
    EXPECT_EQ(nvme->getLogPage(nvme::kLogFirmwareSlot, page, 128), statusFromNvme(0x4002));
    EXPECT_EQ(page, std::vector<uint8_t>(512, 0xAB));
    set.put("nvme0n1", "nvme-id-ctrl.bin", QByteArray(1000, 'a'));
    EXPECT_EQ(nvme->identifyController(identify), kStatusShortTransfer);
    set.put("nvme0n1", "unreadable", "EPERM");
    EXPECT_EQ(nvme->smartReadData(page), statusFromErrno(EPERM));
    EXPECT_EQ(recordedNvmeOpener(set.path())("nvme0n1", status), nullptr);
    EXPECT_TRUE(isPrivilegeStatus(status));
    EXPECT_EQ(recordedNvmeOpener(set.path())("nvme7n1", status), nullptr);
    EXPECT_EQ(errnoOfStatus(status), ENODEV);
}

// (corvanectl's record test copies the whole demo set; here what it doesn't reach.)
TEST(PageRecorder, PagesRoundTripAndUnreadableDrives)
{
    RecordedSet from, to;
    from.copyAtaPages("sda", kIntel);
    from.put("sda", "smart_status.txt", "0 failing\n");
    RecordedAtaSmart ata(from.drive("sda"));
    const PageRecording r = recordAtaPages(ata, to.drive("sdb"));
    // The drive has no summary error log: left out, so it stays missing.
    ASSERT_EQ(std::tuple(r.written.size(), r.failed.keys()), std::tuple(6, QStringList{"smartlog-01-error.bin"}));
    for (const QString &name : r.written)
        EXPECT_EQ(to.file("sdb", name), from.file("sda", name)) << name.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(to.drive("sdb")).filePath("smartlog-01-error.bin")));

    from.copyQemuNvme("nvme0n1");
    QByteArray id = readData("nvme-qemu/nvme0-id-ctrl.bin");
    id[262] = 1; // two error entries kept
    from.put("nvme0n1", "nvme-id-ctrl.bin", id);
    RecordedNvme nvme(from.drive("nvme0n1"));
    const PageRecording n = recordNvmePages(nvme, to.drive("nvme0n1"));
    EXPECT_TRUE(n.ok() && n.written.size() == 4);
    EXPECT_EQ(to.file("nvme0n1", "nvme-id-ctrl.bin"), id);
    EXPECT_EQ(to.file("nvme0n1", "nvme-log01-error.bin").size(), 128);

    ASSERT_TRUE(recordUnreadable(to.drive("nvme1n1"), statusFromErrno(EACCES)));
    int32_t status = 0;
    EXPECT_EQ(recordedNvmeOpener(to.path())("nvme1n1", status), nullptr);
    EXPECT_EQ(status, statusFromErrno(EACCES));
    ASSERT_TRUE(recordUnreadable(to.drive("sdc"), kStatusTimeout));
    EXPECT_EQ(to.file("sdc", "unreadable"), "EIO\n");
}
