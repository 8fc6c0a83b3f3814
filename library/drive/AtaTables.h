// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Display texts for ATA codes met in IDENTIFY data and the SMART error log.
// Pure table lookups; the texts are user-visible vocabulary, blanks included.
#include <QString>

namespace corvane::ata {

// Command name of a command byte; "undefined %02X" for values not in the table.
QString commandName(int command);
// Sub-command name of a (command, features) pair; empty when there is none.
QString command(int command, int feature);
// " NAME" for every set bit of the error register, bit 0 first; "Unknown" for 0.
QString error(int errorRegister);
// The status byte as two upper-case hex digits.
QString status(int statusByte);
// Device state text from the low nibble (the formats print the whole byte).
QString state(int stateByte);
// ATA standard text from IDENTIFY word 80's highest bit index (-1 when none)
// and word 81.
QString ataVersionMajor(int major, int minor);

} // namespace corvane::ata
