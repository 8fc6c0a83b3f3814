// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingFakes.h"
#include "platform/DeviceStatus.h"
#include "platform/NvmeInterface.h"

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
            data[81] = 0x04; // VER 1.4.0
            data[82] = 0x01;
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
    auto command = [](uint8_t opcode, uint32_t nsid, uint32_t cdw10, uint32_t length) {
        NvmeAdminCommand c;
        c.opcode = opcode, c.nsid = nsid, c.cdw10 = cdw10, c.dataLength = length, c.timeoutMs = nvme::kTimeoutMs;
        return c;
    };
    auto logPage = [&](uint32_t cdw10, uint32_t length) { return command(0x02, 0xFFFFFFFF, cdw10, length); };
    EXPECT_EQ(log.commands[0], command(0x06, 0, 1, 4096)); // CNS 1: the controller
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
