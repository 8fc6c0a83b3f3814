// SPDX-License-Identifier: GPL-3.0-or-later
// The mount table parser (registry volume paths, agent mount events).
#include "FuzzSupport.h"
#include "platform/linux/MountInfo.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    for (const MountEntry &entry : parseMountInfo(text(in)))
        if (!entry.mountPoint.startsWith(QLatin1Char('/')))
            __builtin_trap();
}
