// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingFakes.h"
#include "platform/AtaPassThrough.h"
#include "platform/DeviceStatus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>

using namespace corvane;
using corvane::test::RecordingScsiTransport;
using corvane::test::ScriptedScsiAnswer;
using corvane::test::ScsiLog;
using corvane::test::answer;

namespace {

using Cdb = std::vector<uint8_t>;

// Descriptor-format sense with an ATA Status Return descriptor, the way
// libata answers CK_COND and failed pass-through commands.
std::vector<uint8_t> descriptorSense(uint8_t key, uint8_t lbaMid, uint8_t lbaHigh, uint8_t status,
                                     uint8_t error = 0)
{
    return {0x72, key, 0x00, 0x1D, 0, 0, 0, 14,
            0x09, 0x0C, 0, error, 0, 0, 0, 0, 0, lbaMid, 0, lbaHigh, 0, status};
}

struct Drive
{
    ScsiLog log;
    AtaPassThroughSmart ata{std::make_unique<RecordingScsiTransport>(log)};
};

std::vector<uint8_t> pageOf(uint8_t fill)
{
    return std::vector<uint8_t>(512, fill);
}

} // namespace

TEST(AtaPassThrough, EveryOperationSendsTheExpectedCdb)
{
    Drive d;
    std::array<uint8_t, 512> page{};
    bool exceeded = true;
    d.log.answers.resize(4); // enable, identify, data, thresholds answer GOOD
    ASSERT_EQ(d.ata.enableDisableOperations(true), 0);
    ASSERT_EQ(d.ata.getIdentifyData(page), 0);
    ASSERT_EQ(d.ata.readData(page), 0);
    ASSERT_EQ(d.ata.readDataThresholds(page), 0);
    d.log.answers.push_back(answer(0, 0x02, descriptorSense(0x01, 0x4F, 0xC2, 0x50)));
    ASSERT_EQ(d.ata.returnStatus(exceeded), 0);
    EXPECT_FALSE(exceeded);
    d.log.answers.resize(4);
    ASSERT_EQ(d.ata.readLogAtAddress(0, page), 0);
    ASSERT_EQ(d.ata.readLogAtAddress(6, page), 0);
    ASSERT_EQ(d.ata.executeOffLineImmediate(false), 0);
    ASSERT_EQ(d.ata.executeOffLineImmediate(true), 0);
    ASSERT_EQ(d.ata.abortSelfTest(), 0);

    const std::vector<Cdb> expected = {
        // SMART ENABLE OPERATIONS, non-data
        {0x85, 0x06, 0x00, 0, 0xD8, 0, 0x00, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        // IDENTIFY DEVICE, PIO data-in, one block
        {0x85, 0x08, 0x0E, 0, 0x00, 0, 0x01, 0, 0x00, 0, 0x00, 0, 0x00, 0, 0xEC, 0},
        // SMART READ DATA
        {0x85, 0x08, 0x0E, 0, 0xD0, 0, 0x01, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        // SMART READ THRESHOLDS
        {0x85, 0x08, 0x0E, 0, 0xD1, 0, 0x01, 0, 0x01, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        // SMART RETURN STATUS with CK_COND
        {0x85, 0x06, 0x20, 0, 0xDA, 0, 0x00, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        // SMART READ LOG 0 and 6
        {0x85, 0x08, 0x0E, 0, 0xD5, 0, 0x01, 0, 0x00, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        {0x85, 0x08, 0x0E, 0, 0xD5, 0, 0x01, 0, 0x06, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        // EXECUTE OFF-LINE IMMEDIATE: short and extended self-test, off-line mode
        {0x85, 0x06, 0x00, 0, 0xD4, 0, 0x00, 0, 0x01, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        {0x85, 0x06, 0x00, 0, 0xD4, 0, 0x00, 0, 0x02, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
        // EXECUTE OFF-LINE IMMEDIATE 0x7F: abort the self-test
        {0x85, 0x06, 0x00, 0, 0xD4, 0, 0x00, 0, 0x7F, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
    };
    ASSERT_EQ(d.log.cdbs.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(d.log.cdbs[i], expected[i]) << "command " << i;

    for (const ScsiRequest &r : d.log.requests) {
        EXPECT_EQ(r.timeoutMs, ata::kTimeoutMs);
        EXPECT_EQ(r.dataIn, r.cdb[1] == 0x08);
        EXPECT_EQ(r.data.size(), r.dataIn ? 512u : 0u);
    }
}

TEST(AtaPassThrough, ReturnStatusReadsTheStatusReturnDescriptor)
{
    Drive d;
    bool exceeded = false;
    d.log.answers.push_back(answer(0, 0x02, descriptorSense(0x01, 0xF4, 0x2C, 0x50)));
    EXPECT_EQ(d.ata.returnStatus(exceeded), 0);
    EXPECT_TRUE(exceeded);

    // Fixed-format sense from older stacks: registers in INFORMATION and
    // COMMAND-SPECIFIC INFORMATION, ASC/ASCQ 00h/1Dh.
    std::vector<uint8_t> fixed(18, 0);
    fixed[0] = 0x70;
    fixed[2] = 0x01;
    fixed[4] = 0x50;
    fixed[7] = 10;
    fixed[10] = 0x4F;
    fixed[11] = 0xC2;
    fixed[13] = 0x1D;
    d.log.answers.push_back(answer(0, 0x02, fixed));
    EXPECT_EQ(d.ata.returnStatus(exceeded), 0);
    EXPECT_FALSE(exceeded);

    // A bridge that says nothing leaves the flag alone and reports why.
    exceeded = true;
    d.log.answers.push_back(answer(0));
    EXPECT_EQ(d.ata.returnStatus(exceeded), kStatusNoAtaRegisters);
    EXPECT_TRUE(exceeded);
    d.log.answers.push_back(answer(0, 0x02, descriptorSense(0x01, 0x12, 0x34, 0x50)));
    EXPECT_EQ(d.ata.returnStatus(exceeded), kStatusUnexpectedAnswer);
}

TEST(AtaPassThrough, FailedReadsLeaveTheBufferAndSayWhy)
{
    Drive d;
    std::array<uint8_t, 512> page;
    page.fill(0xAA);
    const auto untouched = page;

    // Drive aborts: ERR in the returned status.
    d.log.answers.push_back(answer(0, 0x02, descriptorSense(0x0B, 0, 0, 0x51, 0x04), pageOf(0x11)));
    EXPECT_EQ(d.ata.readData(page), statusFromAtaRegisters(0x51, 0x04));
    EXPECT_EQ(page, untouched);

    // Short transfer.
    d.log.answers.push_back(answer(0, 0, {}, pageOf(0x22), 256));
    EXPECT_EQ(d.ata.readLogAtAddress(1, page), kStatusShortTransfer);
    EXPECT_EQ(page, untouched);

    // No privileges for SG_IO.
    d.log.answers.push_back(answer(statusFromErrno(EACCES)));
    const int32_t denied = d.ata.getIdentifyData(page);
    EXPECT_TRUE(isPrivilegeStatus(denied));
    EXPECT_EQ(page, untouched);

    // A SCSI disk that doesn't know ATA PASS-THROUGH: ILLEGAL REQUEST, invalid opcode.
    std::vector<uint8_t> illegal(18, 0);
    illegal[0] = 0x70;
    illegal[2] = 0x05;
    illegal[7] = 10;
    illegal[12] = 0x20;
    d.log.answers.push_back(answer(0, 0x02, illegal));
    EXPECT_EQ(d.ata.readDataThresholds(page), statusFromSense(0x05, 0x20, 0x00));
    EXPECT_EQ(page, untouched);

    // Registers without ERR do not make a rejected command a success.
    d.log.answers.push_back(answer(0, 0x02, descriptorSense(0x05, 0, 0, 0x50), pageOf(0x44)));
    EXPECT_EQ(d.ata.readData(page), statusFromSense(0x05, 0x00, 0x1D));
    EXPECT_EQ(page, untouched);

    // Timeout below SCSI.
    d.log.answers.push_back(answer(kStatusTimeout));
    EXPECT_EQ(d.ata.enableDisableOperations(true), kStatusTimeout);

    // Recovered error with registers and no ERR is success, data kept.
    d.log.answers.push_back(answer(0, 0x02, descriptorSense(0x01, 0x4F, 0xC2, 0x50), pageOf(0x33)));
    EXPECT_EQ(d.ata.readData(page), 0);
    EXPECT_EQ(page[0], 0x33);
}

TEST(AtaPassThrough, AnswersOfARealKernel)
{
    // Linux 6.1 libata on QEMU's AHCI disk (its RETURN STATUS answer is the
    // descriptor sense above). SMART READ LOG of a log the drive lacks: fixed-format sense, ABORTED
    // COMMAND, the registers at offsets that don't follow SAT. A failure, and
    // the buffer stays as it was.
    Drive d;
    std::array<uint8_t, 512> page;
    page.fill(0x5C);
    d.log.answers.push_back(answer(0, 0x02, {0x70, 0x00, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x04, 0x41, 0x00,
                                             0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x30}));
    const int32_t status = d.ata.readLogAtAddress(0x30, page);
    EXPECT_EQ(status, statusFromSense(0x0B, 0x00, 0x00));
    EXPECT_TRUE(statusText(status).startsWith(QStringLiteral("The drive aborted the command")));
    EXPECT_EQ(page[0], 0x5C);
}

TEST(AtaPassThrough, DisableValidateAndBadBuffersNeverReachTheDrive)
{
    Drive d;
    std::array<uint8_t, 512> page{};
    EXPECT_EQ(d.ata.enableDisableOperations(false), 0);
    EXPECT_EQ(d.ata.validateReadData(page), 0);
    page[7] = 1;
    EXPECT_EQ(d.ata.validateReadData(page), kStatusBadChecksum);
    std::vector<uint8_t> small(100), odd(512 * 256);
    EXPECT_EQ(d.ata.readLogAtAddress(1, small), kStatusBadArgument);
    EXPECT_EQ(d.ata.readLogAtAddress(1, odd), kStatusBadArgument);
    EXPECT_EQ(d.ata.getIdentifyData(small), kStatusBadArgument);
    EXPECT_TRUE(d.log.cdbs.empty());

    std::vector<uint8_t> two(1024);
    d.log.answers.resize(1);
    EXPECT_EQ(d.ata.readLogAtAddress(0x80, two), 0);
    ASSERT_EQ(d.log.cdbs.size(), 1u);
    EXPECT_EQ(d.log.cdbs[0][6], 2); // two sectors
    EXPECT_EQ(d.log.cdbs[0][8], 0x80);
}

TEST(AtaPassThrough, SenseParsingSurvivesTruncatedAndGarbageData)
{
    // Descriptor list claims more than is there.
    std::vector<uint8_t> truncated = descriptorSense(0x01, 0x4F, 0xC2, 0x50);
    truncated.resize(15);
    EXPECT_FALSE(ataReturnRegisters(truncated).has_value());
    EXPECT_FALSE(ataReturnRegisters({}).has_value());
    // A zero-length descriptor must not loop forever.
    const std::vector<uint8_t> zeroLength = {0x72, 1, 0, 0x1D, 0, 0, 0, 8, 0x02, 0x00, 0x03, 0x00, 0, 0, 0, 0};
    EXPECT_FALSE(ataReturnRegisters(zeroLength).has_value());
    std::mt19937 random(5);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> junk(random() % 64);
        for (uint8_t &b : junk)
            b = uint8_t(random());
        if (!junk.empty() && round % 2)
            junk[0] = 0x72;
        (void)ataReturnRegisters(junk);
    }
    const auto regs = ataReturnRegisters(descriptorSense(0x01, 0xF4, 0x2C, 0x50, 0x00));
    ASSERT_TRUE(regs.has_value());
    EXPECT_EQ(regs->lbaMid, 0xF4);
    EXPECT_EQ(regs->lbaHigh, 0x2C);
    EXPECT_EQ(regs->status, 0x50);
}
