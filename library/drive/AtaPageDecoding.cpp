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

bool identityValid(Bytes identity)
{
    return u8(identity, 510) == 0xA5 && pageChecksumValid(identity);
}

bool smartDataValid(Bytes smartData)
{
    // Real drives report revisions far above 99 (0x80 and more); only 0, which
    // no drive that fills the page sends, marks a page as not filled in.
    return le16(smartData, 0) != 0 && pageChecksumValid(smartData);
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
