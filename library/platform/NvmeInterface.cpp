// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NvmeInterface.h"

#include "drive/Bytes.h"
#include "platform/DeviceStatus.h"

#include <algorithm>
#include <vector>

namespace corvane {

NvmeVersion nvmeVersionFromIdentify(std::span<const uint8_t> identify)
{
    const uint32_t ver = le32(identify, 80);
    return {uint16_t(ver >> 16), uint16_t((ver >> 8) & 0xFF)};
}

int32_t nvmeInvalidOpcodeStatus() { return statusFromNvme(0x4001); }

namespace nvme {

NvmeAdminCommand identifyController()
{
    NvmeAdminCommand c;
    c.opcode = kOpIdentify;
    c.nsid = 0;
    c.cdw10 = kCnsController;
    c.dataLength = kNvmeIdentifySize;
    c.timeoutMs = kTimeoutMs;
    return c;
}

NvmeAdminCommand getLogPage(uint8_t logId, uint32_t dwords)
{
    const uint32_t numd = dwords - 1;
    NvmeAdminCommand c;
    c.opcode = kOpGetLogPage;
    c.nsid = kNsidAll;
    c.cdw10 = ((numd & 0xFFFF) << 16) | logId;
    c.cdw11 = numd >> 16;
    c.dataLength = dwords * 4;
    c.timeoutMs = kTimeoutMs;
    return c;
}

NvmeAdminCommand deviceSelfTest(uint8_t code, uint32_t nsid)
{
    NvmeAdminCommand c;
    c.opcode = kOpDeviceSelfTest;
    c.nsid = nsid;
    c.cdw10 = code & 0xFu;
    c.timeoutMs = kTimeoutMs;
    return c;
}

} // namespace nvme

NvmeAdminController::NvmeAdminController(std::unique_ptr<NvmeAdminTransport> transport)
    : m_transport(std::move(transport))
{
}

int32_t NvmeAdminController::identifyController(std::span<uint8_t> buffer)
{
    if (!m_transport)
        return kStatusNoDevice;
    if (buffer.size() < kNvmeIdentifySize)
        return kStatusBadArgument;
    std::vector<uint8_t> scratch(kNvmeIdentifySize, 0);
    if (const int32_t status = m_transport->submit(nvme::identifyController(), scratch))
        return status;
    std::copy(scratch.begin(), scratch.end(), buffer.begin());
    m_version = nvmeVersionFromIdentify(scratch);
    return kStatusSuccess;
}

int32_t NvmeAdminController::getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords)
{
    if (!m_transport)
        return kStatusNoDevice;
    // NUMD is 32 bits wide, but nothing Corvane reads comes near 4 GiB; the
    // cap keeps a bogus length from turning into a huge allocation.
    if (dwords == 0 || dwords > (1u << 20) || size_t(dwords) * 4 > buffer.size())
        return kStatusBadArgument;
    std::vector<uint8_t> scratch(size_t(dwords) * 4, 0);
    if (const int32_t status = m_transport->submit(nvme::getLogPage(logId, dwords), scratch))
        return status;
    std::copy(scratch.begin(), scratch.end(), buffer.begin());
    return kStatusSuccess;
}

int32_t NvmeAdminController::deviceSelfTest(uint8_t code, uint32_t nsid)
{
    if (!m_transport)
        return kStatusNoDevice;
    return m_transport->submit(nvme::deviceSelfTest(code, nsid), {});
}

} // namespace corvane
