// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NVMe seam fed from a recorded set: drives/<kernel name>/nvme-*.bin
// (docs/recorded-pages.md). A drive with a Device Self-test log runs a
// scripted self-test: after the start, successive reads of the log show 0 %,
// 50 %, then the test done without error; an abort ends it as aborted. The
// new result stays in the log for later reads in this process.
#include "platform/NvmeInterface.h"

namespace corvane {

struct RecordedNvmeSelfTest;

class RecordedNvme : public NvmeInterface
{
public:
    explicit RecordedNvme(const QString &driveDir);

    int32_t identifyController(std::span<uint8_t> buffer) override;
    int32_t getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords) override;
    int32_t deviceSelfTest(uint8_t code, uint32_t nsid) override;
    uint16_t interfaceVersion() const override { return m_version.major; }
    uint16_t interfaceRevision() const override { return m_version.minor; }

    // Forgets every scripted test and its results (tests).
    static void resetSimulations();

private:
    int32_t readSelfTestLog(std::span<uint8_t> buffer) const;
    int32_t loadSelfTestLog(RecordedNvmeSelfTest &simulation) const;
    uint64_t powerOnHours() const;
    int32_t readFile(const QString &name, std::span<uint8_t> buffer) const;

    QString m_dir;
    NvmeVersion m_version;
};

NvmeOpener recordedNvmeOpener(const QString &setDir);

} // namespace corvane
