// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtaSmartInterface.h"

#include "platform/DeviceStatus.h"

#include <cerrno>

namespace corvane {

int32_t AtaSmartInterface::abortSelfTest()
{
    return statusFromErrno(EOPNOTSUPP);
}

bool ataChecksumValid(std::span<const uint8_t> page)
{
    if (page.size() < kAtaPageSize)
        return false;
    uint8_t sum = 0;
    for (size_t i = 0; i < kAtaPageSize; ++i)
        sum = uint8_t(sum + page[i]);
    return sum == 0;
}

void ataFixChecksum(std::span<uint8_t> page)
{
    if (page.size() < kAtaPageSize)
        return;
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < kAtaPageSize; ++i)
        sum = uint8_t(sum + page[i]);
    page[kAtaPageSize - 1] = uint8_t(0x100 - sum);
}

bool isPlainDeviceName(const QString &name)
{
    if (name.isEmpty() || name.size() > 64)
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
                        || u == '_' || u == '-' || u == ':';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace corvane
