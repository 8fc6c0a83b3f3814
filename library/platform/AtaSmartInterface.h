// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ATA SMART seam: the eight operations a SMART session needs of a drive.
// Every operation returns a status code (platform/DeviceStatus.h), 0 on success;
// a failed read leaves the caller's buffer as it was.
#include "drive/AtaPages.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace corvane {

inline constexpr size_t kAtaPageSize = kAtaPageBytes;

class AtaSmartInterface
{
public:
    virtual ~AtaSmartInterface() = default;

    // SMART ENABLE OPERATIONS. Disabling is accepted and ignored: switching a
    // drive's SMART off stops its own monitoring and attribute autosave, often
    // across power cycles, so no implementation sends SMART DISABLE OPERATIONS.
    virtual int32_t enableDisableOperations(bool enable) = 0;
    // SMART RETURN STATUS: the drive's own verdict.
    virtual int32_t returnStatus(bool &thresholdExceeded) = 0;
    // EXECUTE OFF-LINE IMMEDIATE, short (1) or extended (2) self-test in off-line mode.
    virtual int32_t executeOffLineImmediate(bool extendedTest) = 0;
    // EXECUTE OFF-LINE IMMEDIATE subcommand 0x7F: the drive stops its self-test
    // and logs it as aborted by the host. Seams that can't send it say so.
    virtual int32_t abortSelfTest();
    virtual int32_t readData(std::span<uint8_t, kAtaPageSize> buffer) = 0;
    // 0 when the page's checksum (sum of all 512 bytes) is 0 modulo 256.
    virtual int32_t validateReadData(std::span<const uint8_t, kAtaPageSize> buffer) = 0;
    virtual int32_t readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer) = 0;
    // SMART READ LOG of one or more 512-byte sectors at a log address.
    virtual int32_t readLogAtAddress(uint8_t address, std::span<uint8_t> buffer) = 0;
    // IDENTIFY DEVICE; the buffer holds at least 512 bytes.
    virtual int32_t getIdentifyData(std::span<uint8_t> buffer) = 0;
    // CHECK POWER MODE: the count register the drive answers with (0x00
    // standby, 0xFF active or idle, ...; drive/PowerMode.h reads it). Asking
    // never spins a drive up. Seams that can't send it say so.
    virtual int32_t checkPowerMode(uint8_t &count);
};

// Opens the seam on a drive by kernel name ("sda"); on failure returns null
// and sets the status.
using AtaSmartOpener =
    std::function<std::unique_ptr<AtaSmartInterface>(const QString &bsdName, int32_t &status)>;

// Only plain kernel names reach a device path: no '/', no "..".
bool isPlainDeviceName(const QString &name);

} // namespace corvane
