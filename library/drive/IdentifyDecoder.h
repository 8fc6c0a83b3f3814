// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decoders of the ATA IDENTIFY DEVICE page and of the capability part of the
// SMART READ DATA page. Pure functions of their bytes: a short page reads as if
// the missing bytes were zero.
#include "drive/Bytes.h"

#include <QString>
#include <QVariantMap>

namespace corvane {

// IDENTIFY keys: "ataVersion", "Device Model", "Serial Number", "Firmware Version"
// (text keys only when at least 2 characters long), "Drive Type" (only for a known
// rotation rate word), "Transport Type", "logicalSectorOffset", "logicalSectorSize",
// "physicalSectorSize", "sectorSizeStr", "sectors", "WWN", "SCT Status",
// "SCT Error Recovery Control", "SCT Feature Control", "SCT Data Table",
// "General Purpose Logging", "Error Logging".
QVariantMap identifyDevice(Bytes identity);

// Whether an IDENTIFY page holds what a drive sent. The integrity word is
// optional: without the 0xA5 signature at byte 510 there is no checksum and the
// data stands; with it the byte sum must be 0. A short page, and one of all
// zeros or all ones (nobody answered), is refused.
bool identifyPageValid(Bytes identity);

// Capability keys of the SMART data page, plus "capArray", "selftests" and
// "isEnabledSelftest". Flags that the page does not carry (logging, SCT) are taken
// from `driveProperties`, where identifyDevice() put them.
QVariantMap capabilities(Bytes smartData, const QVariantMap &driveProperties = {});

// An ATA text field: bytes swapped within each 16-bit word, cut at the first NUL,
// UTF-8 (" " when the bytes are not valid UTF-8), trimmed.
QString stringFromCStringSwapped(Bytes field);

// `bits` (at most 32) "1"/"0" characters of `value`, most significant first.
QString binaryString(uint64_t value, int bits);

// "N/A", "2 minutes", "  1 hour, 1 minute": a self-test polling time for display.
QString pollingTimeText(unsigned minutes);

} // namespace corvane
