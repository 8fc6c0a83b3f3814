// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NVMe seam fed from a recorded set: drives/<kernel name>/nvme-*.bin
// (docs/recorded-pages.md).
#include "platform/NvmeInterface.h"

namespace corvane {

class RecordedNvme : public NvmeInterface
{
public:
    explicit RecordedNvme(const QString &driveDir);

    int32_t identifyController(std::span<uint8_t> buffer) override;
    int32_t getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords) override;
    uint16_t interfaceVersion() const override { return m_version.major; }
    uint16_t interfaceRevision() const override { return m_version.minor; }

private:
    int32_t readFile(const QString &name, std::span<uint8_t> buffer) const;

    QString m_dir;
    NvmeVersion m_version;
};

NvmeOpener recordedNvmeOpener(const QString &setDir);

} // namespace corvane
