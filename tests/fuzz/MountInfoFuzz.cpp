// SPDX-License-Identifier: GPL-3.0-or-later
// The mount table parser (registry volume paths, agent mount events).
#include "FuzzSupport.h"
#include "platform/linux/MountInfo.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const MountEntry &entry : parseMountInfo(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))))
        if (!entry.mountPoint.startsWith(QLatin1Char('/')))
            __builtin_trap();
    return 0;
}
