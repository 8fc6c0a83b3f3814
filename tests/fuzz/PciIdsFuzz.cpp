// SPDX-License-Identifier: GPL-3.0-or-later
// The pci.ids parser.
#include "FuzzSupport.h"
#include "database/thVendorDB.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    thVendorDB::parse(QByteArrayView(data, qsizetype(size)));
    return 0;
}
