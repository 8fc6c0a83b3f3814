// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestData.h"
#include "devices/RecordedSet.h"
#include "devices/RecordingFakes.h"
#include "support/EventLoop.h"
#include "support/Fields.h"
#include "drive/NvmeDecoders.h"
#include "drive/NvmeReader.h"
#include "drive/THSMARTDevice.h"
#include "platform/DeviceStatus.h"
#include "platform/recorded/RecordedNvme.h"
#include "HelperProtocol.h"

#include <gtest/gtest.h>

#include <vector>

using namespace corvane;
using corvane::test::readData;

namespace {

std::vector<uint8_t> selfTestLog(uint8_t operation, uint8_t completion)
{
    std::vector<uint8_t> log(kNvmeSelfTestLogSize, 0);
    log[0] = operation;
    log[1] = completion;
    for (size_t i = 0; i < 20; ++i)
        log[4 + 28 * i] = 0x0F; // unused
    return log;
}

QVariantMap entry(uint code, const char *type, uint result, const char *text, uint segment, qulonglong hours,
                  QVariant nsid = QString(), QVariant lba = QString(), QVariant sct = QString(),
                  QVariant sc = QString())
{
    return {{"code", code}, {"type", QString::fromLatin1(type)}, {"result", result},
            {"resultText", QString::fromLatin1(text)}, {"segment", segment}, {"powerOnHours", hours},
            {"nsid", nsid}, {"failingLba", lba}, {"statusCodeType", sct}, {"statusCode", sc}};
}

QByteArray withSelfTest(QByteArray identify, uint16_t extendedMinutes)
{
    identify[256] = char(identify[256] | 0x10);
    identify[316] = char(extendedMinutes & 0xFF);
    identify[317] = char(extendedMinutes >> 8);
    return identify;
}

class NvmeSelfTestSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::app(); // the test timer needs it
        RecordedNvme::resetSimulations();
        THSMARTDevice::setSelfTestTickInterval(0);
        set.copyQemuNvme("nvme0n1");
        set.copy("nvme0n1", "nvme-log06-selftest.bin", "nvme-qemu/nvme0-log06-selftest.bin");
    }
    void TearDown() override { THSMARTDevice::setSelfTestTickInterval(1000); }

    void put(const QString &name, const QByteArray &content) const { set.put("nvme0n1", name, content); }
    std::unique_ptr<THSMARTDevice> readDevice() const
    {
        auto device = std::make_unique<THSMARTDevice>(QVariantMap{{"bsdName", "nvme0n1"}, {"isNVMe", true}});
        const NvmeOpener opener = recordedNvmeOpener(set.path());
        device->mergeProperties(thNVMe(opener).readNVMe_bsd("nvme0n1"));
        device->setNvmeOpener(opener);
        return device;
    }

    test::RecordedSet set;
};

} // namespace

TEST(NvmeSelfTestDecoding, LogEntriesOffersAndCommand)
{
    std::vector<uint8_t> log = selfTestLog(0x12, 0xAA); // reserved bits set around the fields
    const uint8_t newest[28] = {0x27, 3, 0x0F, 0, 8, 7, 6, 5, 4, 3, 2, 1, 1, 0, 0, 0,
                                0x34, 0x12, 0, 0, 0, 0, 0, 0, 0x0A, 0x81, 0xEE, 0xEE};
    std::copy(std::begin(newest), std::end(newest), log.begin() + 4);
    log[4 + 28 * 2] = 0x11;      // short, aborted by the abort code; nothing marked valid
    log[4 + 28 * 2 + 12] = 0x99; // an NSID that is not valid
    log[4 + 28 * 19] = 0xE9;     // vendor specific, aborted by sanitize (the last slot)
    const QVariantMap m = nvmeSelfTestLog(log);
    EXPECT_EQ(m.value("selfTestOperation").toUInt(), 2u);
    EXPECT_EQ(m.value("selfTestCompletion").toUInt(), 42u);
    const QVariantList results = m.value("nvmeSelfTestResults").toList();
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[0].toMap(), entry(2, "Extended", 7, "Completed: segments failed", 3, 0x0102030405060708ull,
                                        "00000001", qulonglong(0x1234), "2", "81"));
    EXPECT_EQ(results[1].toMap(), entry(1, "Short", 1, "Aborted: Device Self-test command", 0, 0));
    EXPECT_EQ(results[2].toMap(), entry(14, "Vendor specific", 9, "Aborted: Sanitize operation", 0, 0));

    // A cut page lists only whole entries; nothing at all reads as idle.
    EXPECT_EQ(nvmeSelfTestLog(Bytes(log).first(4 + 28 + 27)).value("nvmeSelfTestResults").toList().size(), 1);
    EXPECT_EQ(nvmeSelfTestLog({}), (QVariantMap{{"selfTestOperation", 0u}, {"selfTestCompletion", 0u},
                                               {"nvmeSelfTestResults", QVariantList()}}));

    EXPECT_EQ(nvmeSelfTestResultText(10), "Unknown result (0xa)");
    for (unsigned r = 4; r <= 8; ++r)
        EXPECT_EQ(nvmeSelfTestFailed(r), r >= 5 && r <= 7) << r;
    EXPECT_EQ(nvmeSelfTestTypeText(3), "Reserved (0x3)");

    // OACS bit 4 gates the offers; the extended time is EDSTT.
    const QByteArray qemu = readData("nvme-qemu/nvme0-id-ctrl.bin");
    ASSERT_EQ(qemu.size(), 4096);
    EXPECT_FALSE(nvmeSelfTestSupported(test::bytes(qemu)));
    EXPECT_EQ(nvmeSelfTestOffers(test::bytes(qemu)), QVariantList());
    const QByteArray capable = withSelfTest(qemu, 450);
    EXPECT_EQ(nvmeSelfTestOffers(test::bytes(capable)),
              (QVariantList{QVariantMap{{"name", "Short"}, {"displayName", "Short device self-test"},
                                        {"pollingTime", 2u}, {"timeToComplete", "2 minutes"}},
                            QVariantMap{{"name", "Extended"}, {"displayName", "Extended device self-test"},
                                        {"pollingTime", 450u}, {"timeToComplete", "  7 hours, 30 minutes"}}}));

    // Only the four STC bits go out.
    EXPECT_EQ(nvme::deviceSelfTest(0xFF, nvme::kNsidAll),
              (NvmeAdminCommand{.opcode = 0x14, .nsid = 0xFFFFFFFF, .cdw10 = 0xF, .timeoutMs = nvme::kTimeoutMs}));
    // What a user reads when the controller refuses.
    EXPECT_EQ(statusText(nvmeInvalidOpcodeStatus()),
              "NVMe command failed (the controller does not support the command; status 0x4001)");
    EXPECT_EQ(statusText(statusFromNvme(0x011D)), "NVMe command failed (a device self-test is already running; status 0x011d)");
    EXPECT_EQ(statusText(statusFromNvme(0x4002)), "NVMe command failed (status 0x4002)");

    // The helper takes the three codes, as a self-test, and nothing else.
    helper::Refusal refusal;
    const auto request = helper::decodeRequest("NvmeSelfTest", "sy", {"nvme0n1", QVariant::fromValue(uint8_t(0xF))}, refusal);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->byteArg, 0xF);
    EXPECT_STREQ(helper::actionOf(request->operation), helper::kActionSelfTest);
    EXPECT_FALSE(helper::decodeRequest("NvmeSelfTest", "sy", {"nvme0n1", QVariant::fromValue(uint8_t(0xE))}, refusal));
    EXPECT_FALSE(helper::decodeRequest("NvmeSelfTest", "sy", {"sda", QVariant::fromValue(uint8_t(1))}, refusal));
    EXPECT_TRUE(helper::decodeRequest("NvmeGetLogPage", "syu", {"nvme0n1", QVariant::fromValue(uint8_t(6)), 141u}, refusal));
}

TEST_F(NvmeSelfTestSession, RecordedTestRunsCompletesAndAborts)
{
    // QEMU's controller has no Device Self-test: nothing offered, and a start is refused.
    const std::unique_ptr<THSMARTDevice> qemu = readDevice();
    EXPECT_EQ(qemu->driveProperties().value("selftests").toList(), QVariantList());
    EXPECT_FALSE(qemu->driveProperties().contains("nvmeSelfTestResults"));
    EXPECT_EQ(qemu->startTest("Short"), nvmeInvalidOpcodeStatus());
    EXPECT_FALSE(qemu->isFollowingTest());
    EXPECT_FALSE(qemu->hasOpenSession());
    EXPECT_FALSE(qemu->driveProperties().contains("tip"));

    // A controller with Device Self-test (extended: 10 minutes) and one older result.
    put("nvme-id-ctrl.bin", withSelfTest(readData("nvme-qemu/nvme0-id-ctrl.bin"), 10));
    std::vector<uint8_t> log = selfTestLog(0, 0);
    log[4] = 0x20; // extended, no error
    log[8] = 7;    // at 7 hours
    put("nvme-log06-selftest.bin", QByteArray(reinterpret_cast<const char *>(log.data()), int(log.size())));
    // A second start while one runs is refused; the scripted log then reads 0 %, 50 %, done.
    RecordedNvme seam(set.drive("nvme0n1"));
    ASSERT_EQ(seam.deviceSelfTest(nvme::kSelfTestShort, nvme::kNsidAll), 0);
    EXPECT_EQ(seam.deviceSelfTest(nvme::kSelfTestExtended, nvme::kNsidAll), statusFromNvme(0x011D));
    RecordedNvme::resetSimulations();

    const std::unique_ptr<THSMARTDevice> device = readDevice();
    const QVariantMap &p = device->driveProperties();
    EXPECT_EQ(p.value("selftests").toList().size(), 2);
    EXPECT_EQ(p.value("nvmeSelfTestResults").toList().size(), 1);
    ASSERT_EQ(device->startTest("Short"), 0);
    EXPECT_TRUE(p.value("tip").toBool());
    int ends = 0;
    const QMetaObject::Connection counting = QObject::connect(
        device.get(), &THSMARTDevice::endOfTest, device.get(), [&](const QString &what) { ends += what == "endoftest"; });
    EXPECT_TRUE(test::waitUntil([&] { return !device->isFollowingTest(); }));
    QObject::disconnect(counting);
    EXPECT_EQ(ends, 1);
    test::expectFields(p, {{"test_status", "Completed without error 100%"}, {"test_elapsed", 3.0}, // 0 %, 50 %, done
                           {"test_remaining", 117.0}, {"test_progress", 2.5}, {"tip", false}});
    EXPECT_FALSE(device->hasOpenSession());
    EXPECT_TRUE(device->selfTestState().passed);
    QVariantList results = p.value("nvmeSelfTestResults").toList();
    ASSERT_EQ(results.size(), 2);
    const qulonglong hours = le64(test::bytes(readData("nvme-qemu/nvme0-log02-smart.bin")), 128);
    EXPECT_EQ(results[0].toMap(), entry(1, "Short", 0, "Completed without error", 0, hours));
    EXPECT_EQ(results[1].toMap().value("powerOnHours").toULongLong(), 7u);

    // Aborting sends the abort code; the log then holds the aborted test.
    ASSERT_EQ(device->startTest("Extended"), 0);
    EXPECT_EQ(device->stopSelfTest(), 0);
    EXPECT_FALSE(device->isFollowingTest());
    test::expectFields(p, {{"test_status", "Aborted: Device Self-test command 100%"}, {"test_remaining", 599.0}});
    EXPECT_FALSE(device->selfTestState().passed);
    results = p.value("nvmeSelfTestResults").toList();
    ASSERT_EQ(results.size(), 3);
    test::expectFields(results[0].toMap(), {{"code", 2}, {"result", 1}});
}

TEST_F(NvmeSelfTestSession, CommandsOnTheWire)
{
    test::NvmeLog wire;
    int logReads = 0;
    wire.answer = [&](const NvmeAdminCommand &c, std::span<uint8_t> data) {
        if (c.opcode != nvme::kOpGetLogPage)
            return 0;
        // The first read fails, the second finds the test still running.
        if (++logReads == 1)
            return statusFromNvme(0x4002);
        const std::vector<uint8_t> running = selfTestLog(0x1, 10);
        std::copy_n(running.begin(), std::min(data.size(), running.size()), data.begin());
        return 0;
    };
    THSMARTDevice device(QVariantMap{{"bsdName", "nvme0n1"}, {"isNVMe", true}});
    device.setNvmeOpener([&](const QString &, int32_t &) -> std::unique_ptr<NvmeInterface> {
        return std::make_unique<NvmeAdminController>(std::make_unique<test::RecordingNvmeTransport>(wire));
    });
    ASSERT_EQ(device.startTest("Short"), 0);
    EXPECT_EQ(device.stopSelfTest(), 0);
    // Short on every namespace, abort, one more look at the log, the final log.
    ASSERT_EQ(wire.commands.size(), 4u);
    EXPECT_EQ(wire.commands[0], nvme::deviceSelfTest(nvme::kSelfTestShort, nvme::kNsidAll));
    EXPECT_EQ(wire.commands[1], nvme::deviceSelfTest(nvme::kSelfTestAbort, nvme::kNsidAll));
    EXPECT_EQ(wire.commands[2], nvme::getLogPage(nvme::kLogSelfTest, 141));
    EXPECT_EQ(wire.commands[3], nvme::getLogPage(nvme::kLogSelfTest, 141));
    // A failed read keeps the test running; the controller still says so at
    // the end, and stopping ends the following anyway.
    test::expectFields(device.driveProperties(),
                       {{"test_status", "Test In Progress 0%"}, {"selfTestCompletion", 10}, {"tip", false}});
    EXPECT_FALSE(device.isFollowingTest());
}
