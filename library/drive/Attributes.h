// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drive/ColorRoles.h"
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <optional>
#include <span>

namespace corvane {

class DriveDatabase;

// Renders the raw value of one 12-byte attribute entry in a drivedb.h format
// ("raw48", "tempminmax", ...); names are compared without letter case and
// an unknown name decodes as "raw48". A short entry reads as zeros.
QString decodeRawAttribute(std::span<const uint8_t> entry, const QString &fmt);

// The leading integer of a decoded raw text ("35, 20, 45, 0" -> 35),
// saturating; 0 when the text starts with no number.
long long leadingInteger(const QString &text);

// The integer of an attribute record's "rawValue" text: the leading decimal
// integer, or a hex format's ("0x0000002710") value; nullopt for "-" or "".
std::optional<long long> rawValueInteger(const QString &text);

// Splits a temperature raw value (the six raw bytes) into current, minimum,
// maximum and a fourth value, trying the layouts drives are known to use.
void raw(std::span<const uint8_t> rawBytes, std::span<int16_t, 4> temp);

// The attribute pass over a SMART data page and its thresholds page:
// the attribute table ("vendorspecificAttributes", "vsaDict"), the headline
// values and both verdicts ("health", "attributeHealth"). Names and formats
// come from the drive database. `ignore` is the "ignoreAttributes"
// dictionary; `isfail` is true when SMART RETURN STATUS reported a threshold
// exceeded. Each record in "vendorspecificAttributes" carries "bad" (bool)
// beside its 13 keys; "vsaDict" holds the same records by "ID".
// "crcErrorCountColor" is "FailureColor" or "controlTextColor". "Model
// Family" is always "-"; "modelFamily" holds the drive database's family of
// the drive, "" when it has no entry.
QVariantMap attributesModel(const DriveDatabase &db, std::span<const uint8_t> smartData,
                            std::span<const uint8_t> smartThresh, const QString &model,
                            const QString &firmware, const QVariantMap &ignore, bool isfail);


} // namespace corvane
