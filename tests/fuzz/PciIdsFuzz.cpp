// SPDX-License-Identifier: GPL-3.0-or-later
// The pci.ids parser.
#include "FuzzSupport.h"
#include "database/thVendorDB.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    thVendorDB::parse(text(in));
}
