// SPDX-License-Identifier: GPL-3.0-or-later
// What the ATA and NVMe seams send to a drive and make of its answers; statuses and device names.
#include "RecordingFakes.h"
#include "support/Golden.h"
#include "platform/DeviceStatus.h"
#include "platform/linux/LinuxAtaSmart.h"
#include "platform/linux/LinuxNvme.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <random>

using namespace corvane;
using namespace corvane::test;

namespace {

// Descriptor sense with an ATA Status Return descriptor, as libata answers CK_COND and failures.
std::vector<uint8_t> descriptorSense(uint8_t key, uint8_t lbaMid, uint8_t lbaHigh, uint8_t status,
                                     uint8_t error = 0)
{
    return {0x72, key, 0x00, 0x1D, 0, 0, 0, 14,
            0x09, 0x0C, 0, error, 0, 0, 0, 0, 0, lbaMid, 0, lbaHigh, 0, status};
}

} // namespace

TEST(AtaPassThrough, CommandsRegistersAndFailures)
{
    ScsiLog log;
    AtaPassThroughSmart ata{std::make_unique<RecordingScsiTransport>(log)};
    std::array<uint8_t, 512> page{};
    bool exceeded = true;
    log.answers.resize(4); // GOOD
    log.answers.push_back(answer(0, 0x02, descriptorSense(0x01, 0x4F, 0xC2, 0x50)));
    log.answers.resize(10);
    ASSERT_EQ((std::vector{ata.enableDisableOperations(true), ata.getIdentifyData(page), ata.readData(page),
                           ata.readDataThresholds(page), ata.returnStatus(exceeded), ata.readLogAtAddress(0, page),
                           ata.readLogAtAddress(6, page), ata.executeOffLineImmediate(false),
                           ata.executeOffLineImmediate(true), ata.abortSelfTest()}),
              std::vector<int32_t>(10, 0));
    EXPECT_FALSE(exceeded);

    const std::vector<std::vector<uint8_t>> expected = {
        {0x85, 0x06, 0x00, 0, 0xD8, 0, 0x00, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // SMART ENABLE, non-data
        {0x85, 0x08, 0x0E, 0, 0x00, 0, 0x01, 0, 0x00, 0, 0x00, 0, 0x00, 0, 0xEC, 0}, // IDENTIFY, PIO in
        {0x85, 0x08, 0x0E, 0, 0xD0, 0, 0x01, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // READ DATA
        {0x85, 0x08, 0x0E, 0, 0xD1, 0, 0x01, 0, 0x01, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // READ THRESHOLDS
        {0x85, 0x06, 0x20, 0, 0xDA, 0, 0x00, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // RETURN STATUS, CK_COND
        {0x85, 0x08, 0x0E, 0, 0xD5, 0, 0x01, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // READ LOG 0
        {0x85, 0x08, 0x0E, 0, 0xD5, 0, 0x01, 0, 0x06, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // READ LOG 6
        {0x85, 0x06, 0x00, 0, 0xD4, 0, 0x00, 0, 0x01, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // short self-test
        {0x85, 0x06, 0x00, 0, 0xD4, 0, 0x00, 0, 0x02, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // extended
        {0x85, 0x06, 0x00, 0, 0xD4, 0, 0x00, 0, 0x7F, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}, // abort
    };
    EXPECT_EQ(log.cdbs, expected);
    for (const ScsiRequest &r : log.requests) {
        EXPECT_EQ(r.timeoutMs, ata::kTimeoutMs);
        EXPECT_EQ(r.dataIn, r.cdb[1] == 0x08);
        EXPECT_EQ(r.data.size(), r.dataIn ? 512u : 0u);
    }

    // Disable and validate never reach the drive, nor do buffers of a wrong size.
    log.cdbs.clear();
    std::vector<uint8_t> small(100), odd(512 * 256), two(1024);
    EXPECT_EQ((std::vector{ata.enableDisableOperations(false), ata.validateReadData(page), ata.readLogAtAddress(1, small),
                           ata.readLogAtAddress(1, odd), ata.getIdentifyData(small)}),
              (std::vector{0, 0, kStatusBadArgument, kStatusBadArgument, kStatusBadArgument}));
    page[7] = 1;
    EXPECT_EQ(ata.validateReadData(page), kStatusBadChecksum);
    EXPECT_TRUE(log.cdbs.empty());
    log.answers.resize(1);
    EXPECT_EQ(ata.readLogAtAddress(0x80, two), 0);
    ASSERT_EQ(log.cdbs.size(), 1u);
    EXPECT_EQ(log.cdbs[0][6], 2); // two sectors
    EXPECT_EQ(log.cdbs[0][8], 0x80);

    // The status and the flag after an answer, the flag set to `flag` before.
    const auto returned = [&](ScriptedScsiAnswer a, bool flag) {
        log.answers.push_back(std::move(a));
        const int32_t status = ata.returnStatus(flag);
        return std::tuple(status, flag);
    };
    EXPECT_EQ(returned(answer(0, 0x02, descriptorSense(0x01, 0xF4, 0x2C, 0x50)), false), std::tuple(0, true));
    // Fixed-format sense from older stacks: registers in INFORMATION and COMMAND-SPECIFIC INFORMATION.
    EXPECT_EQ(returned(answer(0, 0x02, {0x70, 0, 0x01, 0, 0x50, 0, 0, 10, 0, 0, 0x4F, 0xC2, 0, 0x1D, 0, 0, 0, 0}), true),
              std::tuple(0, false));
    // A bridge that says nothing, or wrong registers, leave the flag alone and say why.
    EXPECT_EQ(returned(answer(0), true), std::tuple(kStatusNoAtaRegisters, true));
    EXPECT_EQ(returned(answer(0, 0x02, descriptorSense(0x01, 0xF4, 0xC2, 0x50)), false),
              std::tuple(kStatusUnexpectedAnswer, false));

    // Every register of a descriptor, each 16 bits wide; fixed format only with 00h/1Dh, from 14 bytes on.
    const auto regs = ataReturnRegisters(std::vector<uint8_t>{0x72, 1, 0, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 1, 0x04, 0x12,
                                                              0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x40, 0x51});
    ASSERT_TRUE(regs);
    EXPECT_EQ(std::tuple(regs->error, regs->count, regs->lbaLow, regs->lbaMid, regs->lbaHigh, regs->device, regs->status),
              std::tuple(0x04, 0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x40, 0x51));
    for (const uint8_t response : {0x70, 0x71})
        EXPECT_EQ(ataReturnRegisters(std::vector<uint8_t>{response, 0, 1, 0, 0x50, 0, 0, 10, 0, 0, 0x4F, 0xC2, 0, 0x1D})->lbaMid, 0x4F);
    EXPECT_FALSE(ataReturnRegisters(std::vector<uint8_t>{0x70, 0, 5, 0, 0x50, 0, 0, 10, 0, 0, 0x4F, 0xC2, 0x20, 0}));

    // Truncated, empty and zero-length descriptors (which must not loop forever).
    std::vector<uint8_t> truncated = descriptorSense(0x01, 0x4F, 0xC2, 0x50);
    truncated.resize(15);
    EXPECT_FALSE(ataReturnRegisters(truncated).has_value());
    // Another descriptor type, one too short, one cut by the additional length.
    for (const auto &[type, length, additional] : {std::tuple(0x08, 0x0C, 14), std::tuple(0x09, 0x0B, 14), std::tuple(0x09, 0x0C, 13)}) {
        std::vector<uint8_t> sense = descriptorSense(0x01, 0x4F, 0xC2, 0x50);
        sense[8] = uint8_t(type), sense[9] = uint8_t(length), sense[7] = uint8_t(additional);
        EXPECT_FALSE(ataReturnRegisters(sense).has_value()) << type << " " << length << " " << additional;
    }
    EXPECT_FALSE(ataReturnRegisters({}).has_value());
    EXPECT_FALSE(ataReturnRegisters(std::vector<uint8_t>{0x72, 1, 0, 0x1D, 0, 0, 0, 8, 2, 0, 3, 0, 0, 0, 0, 0}).has_value());
    std::mt19937 random(5);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> junk(random() % 64 + 1);
        std::generate(junk.begin(), junk.end(), [&] { return uint8_t(random()); });
        junk[0] = round % 2 ? 0x72 : junk[0]; // half of them descriptor sense
        (void)ataReturnRegisters(junk);
    }

    // Failed reads leave the buffer and say why: ERR in the returned status; a short transfer; no
    // permission; ILLEGAL REQUEST (no ATA PASS-THROUGH); a rejection whose registers lack ERR; and
    // Linux 6.1 libata on QEMU's AHCI disk reading a missing log (ABORTED COMMAND, registers not where SAT puts them).
    page.fill(0xAA);
    const auto untouched = page;
    const auto pageOf = [](uint8_t fill) { return std::vector<uint8_t>(512, fill); };
    log.answers = {answer(0, 0x02, descriptorSense(0x0B, 0, 0, 0x51, 0x04), pageOf(0x11)),
                   answer(0, 0, {}, pageOf(0x22), 256), answer(statusFromErrno(EACCES)),
                   answer(0, 0x02, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0}),
                   answer(0, 0x02, descriptorSense(0x05, 0, 0, 0x50), pageOf(0x44)),
                   answer(0, 0x02, {0x70, 0, 0x0B, 0, 0, 0, 0, 0x0A, 0x04, 0x41, 0, 0x01, 0, 0, 0, 0, 0, 0x30})};
    EXPECT_EQ((std::vector{ata.readData(page), ata.readLogAtAddress(1, page), ata.getIdentifyData(page),
                           ata.readDataThresholds(page), ata.readData(page), ata.readLogAtAddress(0x30, page)}),
              (std::vector{statusFromAtaRegisters(0x51, 0x04), kStatusShortTransfer, statusFromErrno(EACCES),
                           statusFromSense(0x05, 0x20, 0x00), statusFromSense(0x05, 0x00, 0x1D),
                           statusFromSense(0x0B, 0x00, 0x00)}));
    EXPECT_EQ(page, untouched);

    log.answers.push_back(answer(kStatusTimeout));
    EXPECT_EQ(ata.enableDisableOperations(true), kStatusTimeout);
    // Recovered error with registers and no ERR is success, data kept.
    log.answers.push_back(answer(0, 0x02, descriptorSense(0x01, 0x4F, 0xC2, 0x50), pageOf(0x33)));
    EXPECT_EQ(ata.readData(page), 0);
    EXPECT_EQ(page[0], 0x33);
}

TEST(NvmeAdmin, CommandDwordsAndFailures)
{
    NvmeLog log;
    log.answer = [](const NvmeAdminCommand &c, std::span<uint8_t> data) {
        if (c.opcode == nvme::kOpIdentify) {
            data[81] = 0x04; // VER 1.4.0
            data[82] = 0x01;
        }
        return 0;
    };
    NvmeAdminController nvme(std::make_unique<RecordingNvmeTransport>(log));
    std::vector<uint8_t> identify(4096), page(512), errors(16384);
    ASSERT_EQ((std::vector{nvme.identifyController(identify), nvme.smartReadData(page),
                           nvme.getLogPage(nvme::kLogFirmwareSlot, page, 128), nvme.getLogPage(nvme::kLogError, errors, 16),
                           nvme.getLogPage(nvme::kLogError, errors, 4096)}),
              std::vector<int32_t>(5, 0));
    auto command = [](uint8_t opcode, uint32_t nsid, uint32_t cdw10, uint32_t length) {
        return NvmeAdminCommand{.opcode = opcode, .nsid = nsid, .cdw10 = cdw10, .dataLength = length,
                                .timeoutMs = nvme::kTimeoutMs};
    };
    auto logPage = [&](uint32_t cdw10, uint32_t length) { return command(0x02, 0xFFFFFFFF, cdw10, length); };
    // CNS 1 (the controller); NUMDL 127 LID 2 and 3; one and 256 error entries.
    EXPECT_EQ(log.commands, (std::vector{command(0x06, 0, 1, 4096), logPage(0x007F0002, 512), logPage(0x007F0003, 512),
                                         logPage(0x000F0001, 64), logPage(0x0FFF0001, 16384)}));
    EXPECT_EQ(std::tuple(nvme.interfaceVersion(), nvme.interfaceRevision()), std::tuple(1, 4));
    // Lengths past 64 Ki dwords go to NUMDU.
    const NvmeAdminCommand big = nvme::getLogPage(0x7F, 0x10001);
    EXPECT_EQ(std::tuple(big.cdw10, big.cdw11), std::tuple(0x7Fu, 1u));
    EXPECT_EQ(nvme::deviceSelfTest(0x12, 1), (NvmeAdminCommand{.opcode = 0x14, .nsid = 1, .cdw10 = 2, .timeoutMs = nvme::kTimeoutMs}));

    std::vector<uint8_t> ver(4096);
    EXPECT_EQ(nvmeVersionFromIdentify(ver).major, 0);
    ver[80] = 0x00; ver[81] = 0x02; ver[82] = 0x02; ver[83] = 0x00; // 2.2.0 ... minor in bits 15:8
    EXPECT_EQ(nvmeVersionFromIdentify(ver).major, 2);
    EXPECT_EQ(nvmeVersionFromIdentify(ver).minor, 2);
    EXPECT_EQ(nvmeVersionFromIdentify(std::span<const uint8_t>(ver).first(81)).major, 0);

    // Failures leave the buffers; bad lengths never reach the drive.
    log.answer = [](const NvmeAdminCommand &c, std::span<uint8_t> data) -> int32_t {
        std::fill(data.begin(), data.end(), uint8_t(0x5A));
        return c.opcode == nvme::kOpIdentify ? statusFromErrno(EACCES) : statusFromNvme(0x4002);
    };
    NvmeAdminController failing(std::make_unique<RecordingNvmeTransport>(log));
    std::fill(identify.begin(), identify.end(), 1);
    std::fill(page.begin(), page.end(), 1);
    EXPECT_TRUE(isPrivilegeStatus(failing.identifyController(identify)));
    EXPECT_EQ(identify, std::vector<uint8_t>(4096, 1));
    EXPECT_EQ(failing.interfaceVersion(), 0);
    EXPECT_EQ(failing.smartReadData(page), statusFromNvme(0x4002));
    EXPECT_EQ(page, std::vector<uint8_t>(512, 1));
    const size_t sent = log.commands.size();
    std::vector<uint8_t> small(100);
    EXPECT_EQ(failing.identifyController(small), kStatusBadArgument);
    EXPECT_EQ(failing.getLogPage(2, page, 129), kStatusBadArgument);
    EXPECT_EQ(failing.getLogPage(2, page, 0), kStatusBadArgument);
    EXPECT_EQ(log.commands.size(), sent);
}

TEST(DeviceStatus, StatusesReadWellAndNamesNeverBecomePaths)
{
    // Every kind of status with what callers ask of it and what a user reads.
    QByteArray statuses;
    for (const int32_t s : {kStatusSuccess, statusFromErrno(0), statusFromErrno(EIO), statusFromErrno(EACCES),
                            statusFromErrno(EPERM), statusFromErrno(ENODEV), statusFromErrno(ENXIO),
                            statusFromErrno(ENOENT), statusFromErrno(ENOMEDIUM), statusFromErrno(ETIMEDOUT),
                            statusFromErrno(4095), statusFromAtaRegisters(0x51, 0x04), statusFromAtaRegisters(0x71, 0),
                            statusFromSense(5, 0x20, 0), statusFromSense(0x0B, 0, 0), statusFromSense(2, 0x3A, 1),
                            statusFromNvme(0x4002), statusFromNvme(0x0281), kStatusNoDevice, kStatusShortTransfer,
                            kStatusNoAtaRegisters, kStatusBadChecksum, kStatusUnexpectedAnswer, kStatusBadArgument,
                            kStatusTimeout, kStatusTransportError, kStatusHelperMissing, kStatusHelperNotAuthorized,
                            kStatusHelperNotRunning, int32_t(0xE0C3FFFF)})
        statuses += QStringLiteral("%1 errno %2%3%4: %5\n  %6\n")
                        .arg(QString::number(uint32_t(s), 16)).arg(errnoOfStatus(s))
                        .arg(QLatin1String(isPrivilegeStatus(s) ? " privilege" : ""),
                             QLatin1String(isNoDeviceStatus(s) ? " no-device" : ""), statusText(s), statusUserMessage(s))
                        .toUtf8();
    expectGolden(QStringLiteral("device-statuses.txt"), statuses);
    EXPECT_EQ(errnoFromName(u" ENODEV\n"), ENODEV);
    EXPECT_EQ(errnoFromName(u"5"), 5);
    for (const char16_t *bad : {u"EWHATEVER", u"-3", u"", u"65536"})
        EXPECT_EQ(errnoFromName(bad), 0);
    EXPECT_EQ(errnoFromName(u"65535"), 65535);
    EXPECT_EQ(errnoName(EPERM), QStringLiteral("EPERM"));

    // Device names never become paths.
    for (const char *name : {"sda", "nvme0n1"})
        EXPECT_TRUE(isPlainDeviceName(QLatin1String(name))) << name;
    for (const char *name : {"", "../sda", "sd a", ".."})
        EXPECT_FALSE(isPlainDeviceName(QLatin1String(name))) << name;
    // The controller of a namespace, never of anything else.
    const std::pair<const char *, const char *> controllers[] = {
        {"nvme0n1", "nvme0"}, {"nvme12n3", "nvme12"}, {"nvme1c2n1", "nvme1"}, {"nvme0", "nvme0"},
        {"sda", ""},          {"nvme0n1p2", ""},      {"../nvme0n1", ""}};
    for (const auto &[name, controller] : controllers)
        EXPECT_EQ(nvmeControllerName(QLatin1String(name)), QLatin1String(controller)) << name;

    // A regular file is no device.
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const auto failed = [](auto open, const QString &name) {
        int32_t status = 0;
        return open(name, status) ? 0 : status;
    };
    EXPECT_EQ((std::vector{failed(openLinuxAtaSmart, "../etc/passwd"), failed(openLinuxNvme, "sda"),
                           failed(openLinuxAtaSmart, "corvane-no-such-disk"), failed(openLinuxAtaSmartPath, file.fileName())}),
              (std::vector{kStatusNoDevice, kStatusNoDevice, statusFromErrno(ENOENT), statusFromErrno(ENODEV)}));
}
