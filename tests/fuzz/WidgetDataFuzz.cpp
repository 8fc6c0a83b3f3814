// SPDX-License-Identifier: GPL-3.0-or-later
// The widget's data.json reader.
#include "FuzzSupport.h"
#include "Provider.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto drives = widget::decodeAppData(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (drives)
        for (const widget::SMARTDrive &d : *drives)
            widget::tileTitle(d);
    return 0;
}
