// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ATA SMART over SCSI ATA PASS-THROUGH (16), as SAT and libata take it.
// The CDB encoding and the reading of the ATA registers the drive returns live
// here, platform-free; a ScsiTransport only moves a CDB and its bytes.
#include "platform/AtaSmartInterface.h"

#include <array>
#include <optional>

namespace corvane {

struct ScsiRequest
{
    std::array<uint8_t, 16> cdb{};
    bool dataIn = false;      // false: no data phase
    std::span<uint8_t> data;  // filled by a data-in command
    unsigned timeoutMs = 0;
};

struct ScsiReply
{
    uint8_t scsiStatus = 0;   // SAM status byte: 0 GOOD, 2 CHECK CONDITION
    std::array<uint8_t, 64> sense{};
    size_t senseLength = 0;
    size_t residual = 0;      // bytes asked for but not transferred
};

class ScsiTransport
{
public:
    virtual ~ScsiTransport() = default;
    // A status for failures below SCSI (errno, timeout, host adapter); 0 when
    // the command reached the device, whatever the device answered.
    virtual int32_t execute(const ScsiRequest &request, ScsiReply &reply) = 0;
};

// The ATA registers after a command, from the sense data's ATA Status Return
// descriptor (type 0x09) or, from older stacks, fixed-format sense.
struct AtaReturnRegisters
{
    uint8_t error = 0;
    uint8_t status = 0;
    uint8_t device = 0;
    uint16_t count = 0;
    uint16_t lbaLow = 0;
    uint16_t lbaMid = 0;
    uint16_t lbaHigh = 0;
};
std::optional<AtaReturnRegisters> ataReturnRegisters(std::span<const uint8_t> sense);

namespace ata {
inline constexpr uint8_t kPassThrough16 = 0x85;
inline constexpr uint8_t kProtocolNonData = 3;
inline constexpr uint8_t kProtocolPioDataIn = 4;
inline constexpr uint8_t kCmdIdentifyDevice = 0xEC;
inline constexpr uint8_t kCmdSmart = 0xB0;
inline constexpr uint8_t kCmdCheckPowerMode = 0xE5;
inline constexpr uint8_t kSmartReadData = 0xD0;
inline constexpr uint8_t kSmartReadThresholds = 0xD1;
inline constexpr uint8_t kSmartExecuteOffLineImmediate = 0xD4;
inline constexpr uint8_t kSmartReadLog = 0xD5;
inline constexpr uint8_t kSmartEnableOperations = 0xD8;
inline constexpr uint8_t kSmartReturnStatus = 0xDA;
inline constexpr uint8_t kSmartLbaMid = 0x4F;
inline constexpr uint8_t kSmartLbaHigh = 0xC2;
inline constexpr uint8_t kSmartExceededLbaMid = 0xF4;
inline constexpr uint8_t kSmartExceededLbaHigh = 0x2C;
inline constexpr uint8_t kShortSelfTestOffLine = 0x01;
inline constexpr uint8_t kExtendedSelfTestOffLine = 0x02;
inline constexpr uint8_t kConveyanceSelfTestOffLine = 0x03;
inline constexpr uint8_t kAbortSelfTest = 0x7F;
inline constexpr unsigned kTimeoutMs = 20000;

struct Command
{
    uint8_t command = 0;
    uint8_t features = 0;
    uint8_t count = 0;
    uint8_t lbaLow = 0;
    uint8_t lbaMid = 0;
    uint8_t lbaHigh = 0;
    bool dataIn = false;        // PIO data-in of `count` 512-byte blocks, else non-data
    bool checkCondition = false; // CK_COND: return the registers even on success
};
// The 28-bit command as an ATA PASS-THROUGH (16) CDB.
std::array<uint8_t, 16> passThrough16(const Command &c);
} // namespace ata

class AtaPassThroughSmart : public AtaSmartInterface
{
public:
    explicit AtaPassThroughSmart(std::unique_ptr<ScsiTransport> transport);

    int32_t enableDisableOperations(bool enable) override;
    int32_t returnStatus(bool &thresholdExceeded) override;
    int32_t executeOffLineImmediate(bool extendedTest) override;
    int32_t abortSelfTest() override;
    int32_t readData(std::span<uint8_t, kAtaPageSize> buffer) override;
    int32_t validateReadData(std::span<const uint8_t, kAtaPageSize> buffer) override;
    int32_t readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer) override;
    int32_t readLogAtAddress(uint8_t address, std::span<uint8_t> buffer) override;
    int32_t getIdentifyData(std::span<uint8_t> buffer) override;
    int32_t checkPowerMode(uint8_t &count) override;
    // EXECUTE OFF-LINE IMMEDIATE with any subcommand (the helper's conveyance
    // test and abort; the caller decides which subcommands are allowed).
    int32_t executeOffLineImmediateSubcommand(uint8_t subcommand);

private:
    int32_t run(const ata::Command &c, std::span<uint8_t> data,
                std::optional<AtaReturnRegisters> *registers = nullptr);
    int32_t readInto(const ata::Command &c, std::span<uint8_t> buffer);

    std::unique_ptr<ScsiTransport> m_transport;
};

} // namespace corvane
