// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NVMe seam: Identify Controller, Get Log Page and Device Self-test on a
// controller, plus the controller's interface version. Status codes as in DeviceStatus.h; a
// failed read leaves the caller's buffer as it was.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace corvane {

inline constexpr size_t kNvmeIdentifySize = 4096;
inline constexpr size_t kNvmeLogPageSize = 512;
inline constexpr size_t kNvmeErrorEntrySize = 64;
inline constexpr size_t kNvmeErrorLogMaxEntries = 256;
// Device Self-test log: 4 bytes of current state, then 20 results of 28 bytes.
inline constexpr size_t kNvmeSelfTestLogSize = 564;

namespace nvme {
inline constexpr uint8_t kLogError = 0x01;
inline constexpr uint8_t kLogSmartHealth = 0x02;
inline constexpr uint8_t kLogFirmwareSlot = 0x03;
inline constexpr uint8_t kLogSelfTest = 0x06;
// Self-test codes (STC, Device Self-test cdw10 bits 3:0).
inline constexpr uint8_t kSelfTestShort = 0x1;
inline constexpr uint8_t kSelfTestExtended = 0x2;
inline constexpr uint8_t kSelfTestAbort = 0xF;
} // namespace nvme

// What a controller answers to an admin command it doesn't implement:
// Invalid Command Opcode with Do Not Retry.
int32_t nvmeInvalidOpcodeStatus();

class NvmeInterface
{
public:
    virtual ~NvmeInterface() = default;
    // Identify Controller (CNS 1, namespace 0) into at least 4096 bytes.
    virtual int32_t identifyController(std::span<uint8_t> buffer) = 0;
    // Get Log Page `logId` of `dwords` double words; the buffer holds at least that many.
    virtual int32_t getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords) = 0;
    // The SMART / Health Information log (page 2), 512 bytes.
    int32_t smartReadData(std::span<uint8_t> buffer)
    {
        return getLogPage(nvme::kLogSmartHealth, buffer, kNvmeLogPageSize / 4);
    }
    // Device Self-test with self-test code `code` on namespace `nsid`; the
    // controller answers once the test has started (or been aborted). Seams
    // that can't send it answer as a controller without the command.
    virtual int32_t deviceSelfTest(uint8_t code, uint32_t nsid)
    {
        (void)code;
        (void)nsid;
        return nvmeInvalidOpcodeStatus();
    }
    // The controller's VER field (major.minor), known once Identify succeeded.
    virtual uint16_t interfaceVersion() const = 0;
    virtual uint16_t interfaceRevision() const = 0;
};

using NvmeOpener =
    std::function<std::unique_ptr<NvmeInterface>(const QString &bsdName, int32_t &status)>;

// VER (Identify Controller bytes 80-83): major in bits 31:16, minor in 15:8.
struct NvmeVersion
{
    uint16_t major = 0;
    uint16_t minor = 0;
};
NvmeVersion nvmeVersionFromIdentify(std::span<const uint8_t> identify);

// One admin command as the kernel's passthrough takes it; the dwords not
// named here are the kernel's (command id, data pointers).
struct NvmeAdminCommand
{
    uint8_t opcode = 0;
    uint8_t flags = 0;
    uint32_t nsid = 0;
    uint32_t cdw2 = 0, cdw3 = 0;
    uint32_t cdw10 = 0, cdw11 = 0, cdw12 = 0, cdw13 = 0, cdw14 = 0, cdw15 = 0;
    uint32_t dataLength = 0;
    uint32_t timeoutMs = 0;
    bool operator==(const NvmeAdminCommand &) const = default;
};

class NvmeAdminTransport
{
public:
    virtual ~NvmeAdminTransport() = default;
    // Moves the command and its data-in bytes (data.size() == dataLength).
    virtual int32_t submit(const NvmeAdminCommand &command, std::span<uint8_t> data) = 0;
};

namespace nvme {
inline constexpr uint8_t kOpGetLogPage = 0x02;
inline constexpr uint8_t kOpIdentify = 0x06;
inline constexpr uint8_t kOpDeviceSelfTest = 0x14;
inline constexpr uint32_t kCnsController = 1;
inline constexpr uint32_t kNsidAll = 0xFFFFFFFF;
inline constexpr uint32_t kTimeoutMs = 10000;
NvmeAdminCommand identifyController();
// Get Log Page with NUMD = dwords - 1 split over NUMDL (cdw10) and NUMDU (cdw11).
NvmeAdminCommand getLogPage(uint8_t logId, uint32_t dwords);
// Device Self-test: STC in cdw10 bits 3:0, no data.
NvmeAdminCommand deviceSelfTest(uint8_t code, uint32_t nsid);
} // namespace nvme

// The seam over any admin-command transport (the kernel ioctl, a recording fake).
class NvmeAdminController : public NvmeInterface
{
public:
    explicit NvmeAdminController(std::unique_ptr<NvmeAdminTransport> transport);
    int32_t identifyController(std::span<uint8_t> buffer) override;
    int32_t getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords) override;
    int32_t deviceSelfTest(uint8_t code, uint32_t nsid) override;
    uint16_t interfaceVersion() const override { return m_version.major; }
    uint16_t interfaceRevision() const override { return m_version.minor; }

private:
    std::unique_ptr<NvmeAdminTransport> m_transport;
    NvmeVersion m_version;
};

} // namespace corvane
