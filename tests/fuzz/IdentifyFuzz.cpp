// SPDX-License-Identifier: GPL-3.0-or-later
// IDENTIFY DEVICE and the capability part of SMART READ DATA. The input is an
// identify page followed by a SMART data page; either may be short or absent.
#include "FuzzSupport.h"
#include "drive/IdentifyDecoder.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [identify, smart] = fuzz::split(fuzz::bytes(data, size), 512);
    const QVariantMap identity = identifyDevice(identify);
    capabilities(smart, identity);
    capabilities(smart);
    // The whole input as one oversized page, too.
    identifyDevice(fuzz::bytes(data, size));
    stringFromCStringSwapped(fuzz::bytes(data, size));
    return 0;
}
