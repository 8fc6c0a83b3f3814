// SPDX-License-Identifier: GPL-3.0-or-later
// The NVMe decoders. Input: control byte, then Identify Controller (4096), SMART / Health log (512),
// Firmware Slot log (512) and the error log (the rest, also read as a Device Self-test log). The control
// byte picks the error-entry count handed to the error-log decoder (as the controller claims it, or any
// count up to 256); npss is Identify byte 263, so the fuzzer reaches every count through the data itself.
#include "FuzzSupport.h"
#include "drive/NvmeDecoders.h"
#include "platform/NvmeInterface.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    if (in.empty())
        return;
    const uint8_t control = in[0];
    const auto [identify, rest] = split(in.subspan(1), kNvmeIdentifySize);
    const auto [smart, rest2] = split(rest, kNvmeLogPageSize);
    const auto [firmware, errors] = split(rest2, kNvmeLogPageSize);

    const NvmeVersion version = nvmeVersionFromIdentify(identify);
    nvmeIdentifyKeys(identify, version.major, version.minor);
    nvmeHealthKeys(smart);
    nvmeVerdict(smart.empty() ? 0 : smart[0]);
    nvmePowerStates(identify);
    nvmeFirmwareKeys(identify, firmware);
    const size_t claimed = nvmeErrorLogEntryCount(identify);
    nvmeErrorLog(errors, claimed);
    nvmeErrorLog(errors, control & 1 ? size_t(control) + 1 : claimed * 2);
    nvmeSelfTestOffers(identify);
    nvmeSelfTestLog(errors);
    nvmeText(identify.first(std::min<size_t>(40, identify.size())));
}
