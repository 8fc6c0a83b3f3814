// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtaSmartInterface.h"

#include "platform/DeviceStatus.h"

#include <cerrno>

namespace corvane {

int32_t AtaSmartInterface::abortSelfTest()
{
    return statusFromErrno(EOPNOTSUPP);
}

int32_t AtaSmartInterface::checkPowerMode(uint8_t &)
{
    return statusFromErrno(EOPNOTSUPP);
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
