// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/AtaPageDecoding.h"

#include "drive/IdentifyDecoder.h"
#include "drive/SmartLogDecoder.h"
#include "drive/THSMARTDevice.h"

#include <numeric>

namespace corvane {

bool pageChecksumValid(Bytes page)
{
    if (page.size() != 512)
        return false;
    return uint8_t(std::accumulate(page.begin(), page.end(), 0u)) == 0;
}

bool smartDataValid(Bytes smartData)
{
    // Real drives report revisions far above 99 (0x80 and more). Only 0 and
    // all ones mark a page nobody filled in; an all-0xFF page even has a valid
    // checksum, as a bridge with no drive behind it returns.
    const unsigned revision = le16(smartData, 0);
    return revision != 0 && revision != 0xFFFF && pageChecksumValid(smartData);
}

void decodeIdentity(THSMARTDevice &device)
{
    device.mergeProperties(identifyDevice(device.identity));
}

void decodeCapabilities(THSMARTDevice &device)
{
    device.mergeProperties(capabilities(device.smartData, device.driveProperties()));
}

void decodeLogDirectory(THSMARTDevice &device)
{
    device.mergeProperties(smartLogs(device.logDirectory));
}

void decodeErrorLog(THSMARTDevice &device)
{
    device.mergeProperties(errorLog(device.errorLog));
}

void decodeSelftestLog(THSMARTDevice &device)
{
    device.mergeProperties(selftestLog(device.testLog));
}

void markSmartDataInvalid(THSMARTDevice &device)
{
    device.smartData.fill(0);
    decodeCapabilities(device);
    device.mergeProperties({{QStringLiteral("attributeHealth"), QStringLiteral("-")},
                            {QStringLiteral("health"), QStringLiteral("-")}});
}

} // namespace corvane
