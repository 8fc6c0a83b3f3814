// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtaPassThrough.h"

#include "platform/DeviceStatus.h"

#include <algorithm>
#include <vector>

namespace corvane {

namespace {
constexpr uint8_t kAtaStatusErr = 0x01;
constexpr uint8_t kAtaStatusDeviceFault = 0x20;
constexpr uint8_t kSamGood = 0x00;
constexpr uint8_t kSamCheckCondition = 0x02;
constexpr uint8_t kSenseNoSense = 0x0;
constexpr uint8_t kSenseRecovered = 0x1;
} // namespace

std::optional<AtaReturnRegisters> ataReturnRegisters(std::span<const uint8_t> sense)
{
    if (sense.size() < 8)
        return std::nullopt;
    const uint8_t response = sense[0] & 0x7F;
    if (response == 0x72 || response == 0x73) {
        const size_t end = std::min(sense.size(), size_t(8) + sense[7]);
        for (size_t i = 8; i + 2 <= end; i += 2 + size_t(sense[i + 1])) {
            if (sense[i] != 0x09 || sense[i + 1] < 0x0C || i + 14 > end)
                continue;
            const auto d = sense.subspan(i, 14);
            AtaReturnRegisters r;
            r.error = d[3];
            r.count = uint16_t(d[4] << 8 | d[5]);
            r.lbaLow = uint16_t(d[6] << 8 | d[7]);
            r.lbaMid = uint16_t(d[8] << 8 | d[9]);
            r.lbaHigh = uint16_t(d[10] << 8 | d[11]);
            r.device = d[12];
            r.status = d[13];
            return r;
        }
        return std::nullopt;
    }
    // Fixed format carries the registers only with "ATA PASS-THROUGH
    // INFORMATION AVAILABLE" (00h/1Dh); 8-bit fields only.
    if ((response == 0x70 || response == 0x71) && sense.size() >= 14 && sense[12] == 0x00
        && sense[13] == 0x1D) {
        AtaReturnRegisters r;
        r.error = sense[3];
        r.status = sense[4];
        r.device = sense[5];
        r.count = sense[6];
        r.lbaLow = sense[9];
        r.lbaMid = sense[10];
        r.lbaHigh = sense[11];
        return r;
    }
    return std::nullopt;
}

namespace ata {

std::array<uint8_t, 16> passThrough16(const Command &c)
{
    std::array<uint8_t, 16> cdb{};
    cdb[0] = kPassThrough16;
    cdb[1] = uint8_t((c.dataIn ? kProtocolPioDataIn : kProtocolNonData) << 1);
    // T_DIR (from the device), BYT_BLOK (count in blocks), T_LENGTH = sector count field.
    cdb[2] = uint8_t((c.checkCondition ? 0x20 : 0x00) | (c.dataIn ? 0x0E : 0x00));
    cdb[4] = c.features;
    cdb[6] = c.count;
    cdb[8] = c.lbaLow;
    cdb[10] = c.lbaMid;
    cdb[12] = c.lbaHigh;
    cdb[14] = c.command;
    return cdb;
}

} // namespace ata

AtaPassThroughSmart::AtaPassThroughSmart(std::unique_ptr<ScsiTransport> transport)
    : m_transport(std::move(transport))
{
}

int32_t AtaPassThroughSmart::run(const ata::Command &c, std::span<uint8_t> data,
                                 std::optional<AtaReturnRegisters> *registers)
{
    if (!m_transport)
        return kStatusNoDevice;
    ScsiRequest request;
    request.cdb = ata::passThrough16(c);
    request.dataIn = c.dataIn;
    request.data = data;
    request.timeoutMs = ata::kTimeoutMs;
    ScsiReply reply;
    if (const int32_t status = m_transport->execute(request, reply))
        return status;

    const auto sense =
        std::span<const uint8_t>(reply.sense).first(std::min(reply.senseLength, reply.sense.size()));
    const std::optional<AtaReturnRegisters> regs = ataReturnRegisters(sense);
    if (registers)
        *registers = regs;
    if (regs && (regs->status & (kAtaStatusErr | kAtaStatusDeviceFault)))
        return statusFromAtaRegisters(regs->status, regs->error);
    if (!sense.empty()) {
        // Only NO SENSE and RECOVERED ERROR (the CK_COND answer) mean success.
        const bool descriptor = (sense[0] & 0x7F) >= 0x72;
        auto at = [&](size_t i) { return i < sense.size() ? sense[i] : uint8_t(0); };
        const uint8_t key = (descriptor ? at(1) : at(2)) & 0x0F;
        if (key != kSenseNoSense && key != kSenseRecovered)
            return statusFromSense(key, descriptor ? at(2) : at(12), descriptor ? at(3) : at(13));
    } else if (reply.scsiStatus != kSamGood) {
        return reply.scsiStatus == kSamCheckCondition ? statusFromSense(0, 0, 0) : kStatusTransportError;
    }
    if (c.dataIn && reply.residual != 0)
        return kStatusShortTransfer;
    return kStatusSuccess;
}

int32_t AtaPassThroughSmart::readInto(const ata::Command &c, std::span<uint8_t> buffer)
{
    const size_t length = size_t(c.count) * kAtaPageSize;
    if (c.count == 0 || buffer.size() < length)
        return kStatusBadArgument;
    // A failed or short read must not leave half a page in the caller's buffer.
    std::vector<uint8_t> scratch(length, 0);
    if (const int32_t status = run(c, scratch))
        return status;
    std::copy(scratch.begin(), scratch.end(), buffer.begin());
    return kStatusSuccess;
}

int32_t AtaPassThroughSmart::enableDisableOperations(bool enable)
{
    if (!enable)
        return kStatusSuccess;
    return run({ata::kCmdSmart, ata::kSmartEnableOperations, 0, 0, ata::kSmartLbaMid, ata::kSmartLbaHigh,
                false, false},
               {});
}

int32_t AtaPassThroughSmart::returnStatus(bool &thresholdExceeded)
{
    std::optional<AtaReturnRegisters> regs;
    const int32_t status = run({ata::kCmdSmart, ata::kSmartReturnStatus, 0, 0, ata::kSmartLbaMid,
                                ata::kSmartLbaHigh, false, true},
                               {}, &regs);
    if (status)
        return status;
    if (!regs)
        return kStatusNoAtaRegisters;
    const uint8_t mid = uint8_t(regs->lbaMid), high = uint8_t(regs->lbaHigh);
    if (mid == ata::kSmartLbaMid && high == ata::kSmartLbaHigh) {
        thresholdExceeded = false;
        return kStatusSuccess;
    }
    if (mid == ata::kSmartExceededLbaMid && high == ata::kSmartExceededLbaHigh) {
        thresholdExceeded = true;
        return kStatusSuccess;
    }
    return kStatusUnexpectedAnswer;
}

int32_t AtaPassThroughSmart::executeOffLineImmediate(bool extendedTest)
{
    return executeOffLineImmediateSubcommand(extendedTest ? ata::kExtendedSelfTestOffLine
                                                          : ata::kShortSelfTestOffLine);
}

int32_t AtaPassThroughSmart::executeOffLineImmediateSubcommand(uint8_t subcommand)
{
    return run({ata::kCmdSmart, ata::kSmartExecuteOffLineImmediate, 0, subcommand, ata::kSmartLbaMid,
                ata::kSmartLbaHigh, false, false},
               {});
}

int32_t AtaPassThroughSmart::abortSelfTest()
{
    return executeOffLineImmediateSubcommand(ata::kAbortSelfTest);
}

int32_t AtaPassThroughSmart::readData(std::span<uint8_t, kAtaPageSize> buffer)
{
    return readInto({ata::kCmdSmart, ata::kSmartReadData, 1, 0, ata::kSmartLbaMid, ata::kSmartLbaHigh, true,
                     false},
                    buffer);
}

int32_t AtaPassThroughSmart::validateReadData(std::span<const uint8_t, kAtaPageSize> buffer)
{
    return ataChecksumValid(buffer) ? kStatusSuccess : kStatusBadChecksum;
}

int32_t AtaPassThroughSmart::readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer)
{
    // Obsolete since ATA-5 but still answered; LBA low 1 as the old standards had it.
    return readInto({ata::kCmdSmart, ata::kSmartReadThresholds, 1, 1, ata::kSmartLbaMid, ata::kSmartLbaHigh,
                     true, false},
                    buffer);
}

int32_t AtaPassThroughSmart::readLogAtAddress(uint8_t address, std::span<uint8_t> buffer)
{
    const size_t sectors = buffer.size() / kAtaPageSize;
    if (sectors == 0 || sectors > 255)
        return kStatusBadArgument;
    return readInto({ata::kCmdSmart, ata::kSmartReadLog, uint8_t(sectors), address, ata::kSmartLbaMid,
                     ata::kSmartLbaHigh, true, false},
                    buffer);
}

int32_t AtaPassThroughSmart::getIdentifyData(std::span<uint8_t> buffer)
{
    return readInto({ata::kCmdIdentifyDevice, 0, 1, 0, 0, 0, true, false}, buffer);
}

int32_t AtaPassThroughSmart::checkPowerMode(uint8_t &count)
{
    // Non-data with CK_COND: the answer is in the returned count register.
    std::optional<AtaReturnRegisters> regs;
    if (const int32_t status = run({ata::kCmdCheckPowerMode, 0, 0, 0, 0, 0, false, true}, {}, &regs))
        return status;
    if (!regs)
        return kStatusNoAtaRegisters;
    count = uint8_t(regs->count);
    return kStatusSuccess;
}

} // namespace corvane
