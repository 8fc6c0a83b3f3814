// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingFakes.h"
#include "platform/DeviceStatus.h"
#include "platform/NvmeInterface.h"
#include "platform/linux/LinuxNvme.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace corvane;
using corvane::test::NvmeLog;
using corvane::test::RecordingNvmeTransport;

TEST(NvmeAdmin, CommandDwords)
{
    NvmeLog log;
    log.answer = [](const NvmeAdminCommand &c, std::span<uint8_t> data) {
        if (c.opcode == nvme::kOpIdentify) {
            data[80] = 0x00; // VER 1.4.0
            data[81] = 0x04;
            data[82] = 0x01;
            data[83] = 0x00;
        }
        return 0;
    };
    NvmeAdminController nvme(std::make_unique<RecordingNvmeTransport>(log));
    std::vector<uint8_t> identify(4096), page(512), errors(16384);
    ASSERT_EQ(nvme.identifyController(identify), 0);
    ASSERT_EQ(nvme.smartReadData(page), 0);
    ASSERT_EQ(nvme.getLogPage(nvme::kLogFirmwareSlot, page, 128), 0);
    ASSERT_EQ(nvme.getLogPage(nvme::kLogError, errors, 16), 0);
    ASSERT_EQ(nvme.getLogPage(nvme::kLogError, errors, 4096), 0);

    ASSERT_EQ(log.commands.size(), 5u);
    NvmeAdminCommand id;
    id.opcode = 0x06;
    id.nsid = 0;
    id.cdw10 = 1; // CNS 1: the controller
    id.dataLength = 4096;
    id.timeoutMs = nvme::kTimeoutMs;
    EXPECT_EQ(log.commands[0], id);

    auto logPage = [](uint32_t cdw10, uint32_t length) {
        NvmeAdminCommand c;
        c.opcode = 0x02;
        c.nsid = 0xFFFFFFFF;
        c.cdw10 = cdw10;
        c.dataLength = length;
        c.timeoutMs = nvme::kTimeoutMs;
        return c;
    };
    EXPECT_EQ(log.commands[1], logPage(0x007F0002, 512));    // NUMDL 127, LID 2
    EXPECT_EQ(log.commands[2], logPage(0x007F0003, 512));    // LID 3
    EXPECT_EQ(log.commands[3], logPage(0x000F0001, 64));     // one error entry
    EXPECT_EQ(log.commands[4], logPage(0x0FFF0001, 16384));  // 256 entries

    EXPECT_EQ(nvme.interfaceVersion(), 1);
    EXPECT_EQ(nvme.interfaceRevision(), 4);

    // Lengths past 64 Ki dwords go to NUMDU.
    const NvmeAdminCommand big = nvme::getLogPage(0x7F, 0x10001);
    EXPECT_EQ(big.cdw10, 0x0000007Fu);
    EXPECT_EQ(big.cdw11, 0x00000001u);

    std::vector<uint8_t> ver(4096);
    EXPECT_EQ(nvmeVersionFromIdentify(ver).major, 0);
    ver[80] = 0x00; ver[81] = 0x02; ver[82] = 0x02; ver[83] = 0x00; // 2.2.0 ... minor in bits 15:8
    EXPECT_EQ(nvmeVersionFromIdentify(ver).major, 2);
    EXPECT_EQ(nvmeVersionFromIdentify(ver).minor, 2);
    EXPECT_EQ(nvmeVersionFromIdentify(std::span<const uint8_t>(ver).first(81)).major, 0);
}

TEST(NvmeAdmin, FailuresLeaveBuffersAndRefuseBadLengths)
{
    NvmeLog log;
    log.answer = [](const NvmeAdminCommand &c, std::span<uint8_t> data) -> int32_t {
        std::fill(data.begin(), data.end(), uint8_t(0x5A));
        return c.opcode == nvme::kOpIdentify ? statusFromErrno(EACCES) : statusFromNvme(0x4002);
    };
    NvmeAdminController nvme(std::make_unique<RecordingNvmeTransport>(log));
    std::vector<uint8_t> identify(4096, 1), page(512, 1);
    EXPECT_TRUE(isPrivilegeStatus(nvme.identifyController(identify)));
    EXPECT_EQ(identify, std::vector<uint8_t>(4096, 1));
    EXPECT_EQ(nvme.interfaceVersion(), 0);
    EXPECT_EQ(nvme.smartReadData(page), statusFromNvme(0x4002));
    EXPECT_EQ(page, std::vector<uint8_t>(512, 1));

    const size_t sent = log.commands.size();
    std::vector<uint8_t> small(100);
    EXPECT_EQ(nvme.identifyController(small), kStatusBadArgument);
    EXPECT_EQ(nvme.getLogPage(2, page, 129), kStatusBadArgument);
    EXPECT_EQ(nvme.getLogPage(2, page, 0), kStatusBadArgument);
    EXPECT_EQ(log.commands.size(), sent);
}

TEST(NvmeAdmin, ControllerOfANamespace)
{
    EXPECT_EQ(nvmeControllerName(QStringLiteral("nvme0n1")), QStringLiteral("nvme0"));
    EXPECT_EQ(nvmeControllerName(QStringLiteral("nvme12n3")), QStringLiteral("nvme12"));
    EXPECT_EQ(nvmeControllerName(QStringLiteral("nvme1c2n1")), QStringLiteral("nvme1"));
    EXPECT_EQ(nvmeControllerName(QStringLiteral("nvme0")), QStringLiteral("nvme0"));
    EXPECT_TRUE(nvmeControllerName(QStringLiteral("sda")).isEmpty());
    EXPECT_TRUE(nvmeControllerName(QStringLiteral("nvme0n1p2")).isEmpty());
    EXPECT_TRUE(nvmeControllerName(QStringLiteral("../nvme0n1")).isEmpty());
    int32_t status = 0;
    EXPECT_EQ(openLinuxNvme(QStringLiteral("sda"), status), nullptr);
    EXPECT_EQ(status, kStatusNoDevice);
}
