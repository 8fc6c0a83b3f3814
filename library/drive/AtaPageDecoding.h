// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decodes the pages a THSMARTDevice holds into its drive properties. The checks
// are separate so that a SMART session can gate on them while `corvanectl decode`
// decodes whatever a recorded page holds and only reports what is wrong with it.
#include "drive/Bytes.h"

namespace corvane {

class THSMARTDevice;

// Byte sum of a page is 0 modulo 256 (the last byte is the checksum).
bool pageChecksumValid(Bytes page);
// SMART data with a revision other than 0 or 0xFFFF and a valid checksum.
bool smartDataValid(Bytes smartData);

// Each merges its decoder's result into the drive properties.
void decodeIdentity(THSMARTDevice &device);      // identifyDevice(identity)
// After decodeIdentity(): the capability table reads the logging and SCT flags
// from the properties.
void decodeCapabilities(THSMARTDevice &device);  // capabilities(smartData, properties)
void decodeLogDirectory(THSMARTDevice &device);  // smartLogs(logDirectory)
void decodeErrorLog(THSMARTDevice &device);      // errorLog(errorLog)
void decodeSelftestLog(THSMARTDevice &device);   // selftestLog(testLog)

// What a session does with a SMART data page that fails smartDataValid(): the
// page is cleared, capabilities come from zeros and both verdicts are "-".
void markSmartDataInvalid(THSMARTDevice &device);

} // namespace corvane
