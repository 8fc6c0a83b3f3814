// SPDX-License-Identifier: GPL-3.0-or-later
// IDENTIFY DEVICE and the capability part of SMART READ DATA. The input is an
// identify page followed by a SMART data page; either may be short or absent.
#include "FuzzSupport.h"
#include "drive/IdentifyDecoder.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    const auto [identify, smart] = split(in, 512);
    const QVariantMap identity = identifyDevice(identify);
    capabilities(smart, identity);
    capabilities(smart);
    identifyDevice(in);
    stringFromCStringSwapped(in);
}
