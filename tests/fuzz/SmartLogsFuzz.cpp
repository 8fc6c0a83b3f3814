// SPDX-License-Identifier: GPL-3.0-or-later
// The three SMART log decoders (directory, summary error log, self-test log)
// over the same bytes: each must stay inside them whatever they claim.
#include "FuzzSupport.h"
#include "drive/AtaPages.h"
#include "drive/SmartLogDecoder.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    smartLogs(in);
    errorLog(in);
    selftestLog(in);
    if (in.size() >= 4) {
        uint32_t ms;
        std::memcpy(&ms, in.data(), 4);
        msToTime(ms);
        selftestTypeText(in[0]);
        selfTestStatusText(in[1] >> 4, SelfTestTexts::Log);
    }
}
