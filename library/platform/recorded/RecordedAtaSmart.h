// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ATA SMART seam fed from a recorded set: drives/<kernel name>/ holds the
// pages (docs/recorded-pages.md). Nothing is ever written back; a self-test
// runs in memory, its state shared by every session on the same drive folder
// so that a later read sees the result.
#include "platform/AtaSmartInterface.h"

#include <QString>
#include <functional>

namespace corvane {

class RecordedAtaSmart : public AtaSmartInterface
{
public:
    // Milliseconds on any monotonic scale; tests inject their own.
    using Clock = std::function<int64_t()>;

    static constexpr int64_t kShortTestMs = 4000;
    static constexpr int64_t kExtendedTestMs = 8000;

    explicit RecordedAtaSmart(const QString &driveDir, Clock clock = {});

    // Why the drive can't be opened: its folder is gone (ENODEV) or it holds
    // an `unreadable` file naming an errno. 0 when it can.
    static int32_t openStatus(const QString &driveDir);
    // Forgets every simulated self-test (tests).
    static void resetSimulations();

    int32_t enableDisableOperations(bool enable) override;
    int32_t returnStatus(bool &thresholdExceeded) override;
    int32_t executeOffLineImmediate(bool extendedTest) override;
    int32_t abortSelfTest() override;
    int32_t readData(std::span<uint8_t, kAtaPageSize> buffer) override;
    int32_t validateReadData(std::span<const uint8_t, kAtaPageSize> buffer) override;
    int32_t readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer) override;
    int32_t readLogAtAddress(uint8_t address, std::span<uint8_t> buffer) override;
    int32_t getIdentifyData(std::span<uint8_t> buffer) override;
    // From `power_mode.txt`: "active", "idle", "standby", "sleep" or a count
    // register value ("0x81"); a drive without the file is active.
    int32_t checkPowerMode(uint8_t &count) override;

private:
    int32_t readFile(const QString &name, std::span<uint8_t> buffer) const;
    QString logFileName(uint8_t address) const;

    QString m_dir;
    Clock m_clock;
};

// Opens drives/<bsdName>/ below a recorded set folder.
AtaSmartOpener recordedAtaSmartOpener(const QString &setDir, RecordedAtaSmart::Clock clock = {});

} // namespace corvane
