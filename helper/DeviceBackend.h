// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the helper's requests end: the seams of one drive, opened by kernel
// name. The real backend resolves the name through sysfs and opens the node
// itself; a recorded set stands in for drives in tests and benchmarks.
#include "platform/AtaSmartInterface.h"
#include "platform/NvmeInterface.h"

#include <QString>

namespace corvane::helper {

class DeviceBackend
{
public:
    virtual ~DeviceBackend() = default;
    // Null with the status and a reason a caller may read when refused.
    virtual std::unique_ptr<AtaSmartInterface> openAta(const QString &name, int32_t &status, QString &reason) = 0;
    virtual std::unique_ptr<NvmeInterface> openNvme(const QString &name, int32_t &status, QString &reason) = 0;
};

// sysfs and /dev, or other roots for tests (the helper takes those only
// when it runs without root, see main.cpp).
std::unique_ptr<DeviceBackend> linuxDeviceBackend(const QString &sysRoot = QStringLiteral("/sys"),
                                                  const QString &devRoot = QStringLiteral("/dev"));
std::unique_ptr<DeviceBackend> recordedDeviceBackend(const QString &setDir);

} // namespace corvane::helper
