// SPDX-License-Identifier: GPL-3.0-or-later
// The widget's data.json reader.
#include "FuzzSupport.h"
#include "Provider.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    if (const auto drives = widget::decodeAppData(text(in)))
        for (const widget::SMARTDrive &d : *drives)
            widget::tileTitle(d);
}
