// SPDX-License-Identifier: GPL-3.0-or-later
// The three SMART log decoders (directory, summary error log, self-test log)
// over the same bytes: each must stay inside them whatever they claim.
#include "FuzzSupport.h"
#include "drive/AtaPages.h"
#include "drive/SmartLogDecoder.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto in = fuzz::bytes(data, size);
    smartLogs(in);
    errorLog(in);
    selftestLog(in);
    if (size >= 4) {
        uint32_t ms;
        std::memcpy(&ms, data, 4);
        msToTime(ms);
        selftestTypeText(data[0]);
        selfTestStatusText(data[1] >> 4, SelfTestTexts::Log);
    }
    return 0;
}
