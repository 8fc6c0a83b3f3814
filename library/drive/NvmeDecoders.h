// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pure decoders of the NVMe blocks Corvane reads: Identify Controller, the
// SMART / Health Information log, the power state descriptors, the Firmware
// Slot Information log, the Error Information log and the Device Self-test log. They read only inside
// the spans they are given; missing bytes count as zero.
#include "drive/Bytes.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <optional>

namespace corvane {

inline constexpr size_t kNvmePowerStateOffset = 2048;
inline constexpr size_t kNvmePowerStateSize = 32;
inline constexpr size_t kNvmeMaxPowerStates = 32;

// Text of a fixed-size field: the valid UTF-8 characters (invalid sequences
// and NULs dropped), blanks and tabs trimmed from both ends.
QString nvmeText(Bytes field);
// The same without trimming.
QString nvmeUntrimmedText(Bytes field);

// "vid", "ssvid", "sn", "mn", "fr", "rab", "oui", "cmic", "mdts", "ctlid",
// "oacs", "frmw", "lpa", "elpe", "npss", "warning_oC", "critical_oC", "nn",
// "oncs", "nvmeIFRev", and "nvmeRevSupported" when the controller reports
// its version (VER). "mdts" 0 means no limit.
QVariantMap nvmeIdentifyKeys(Bytes identify, uint16_t interfaceVersion, uint16_t interfaceRevision);

// "Failed" for critical-warning bits 2 or 3, "Warning" for bits 0, 1 or 4,
// else "Passed".
QString nvmeVerdict(uint8_t criticalWarning);

// The health keys including "attributeHealth".
QVariantMap nvmeHealthKeys(Bytes smartLog);

// A 128-bit health counter ("mediaErrors", ...) of those keys as one integer,
// saturating at the largest qint64; nullopt when the keys lack it.
std::optional<qint64> nvmeCounter(const QVariantMap &healthKeys, const QString &name);

// Descriptors 0..npss, at most the 32 the Identify data has room for.
QVariantList nvmePowerStates(Bytes identify);

// "firmwareSlots", "firmwareSlotCount", "activeFirmwareSlot", "nextFirmwareSlot".
QVariantMap nvmeFirmwareKeys(Bytes identify, Bytes firmwareSlotLog);

// Entries the controller keeps: Identify byte 262 + 1 (1 to 256).
size_t nvmeErrorLogEntryCount(Bytes identify);
// The entries among the first `entries` whose error count is not 0.
QVariantList nvmeErrorLog(Bytes errorLog, size_t entries);

// Device Self-test: OACS bit 4. The offers are "selftests" in the shape the
// ATA capabilities have ("name", "displayName", "pollingTime",
// "timeToComplete"): Short (at most 2 minutes) and Extended (EDSTT, Identify
// bytes 316-317); empty when the controller lacks the command.
bool nvmeSelfTestSupported(Bytes identify);
QVariantList nvmeSelfTestOffers(Bytes identify);

// The Device Self-test log: "selfTestOperation" (code of the running test, 0
// for none), "selfTestCompletion" (percent of it done) and
// "nvmeSelfTestResults", the used result entries newest first, each with
// "type" and "code", "result" and "resultText", "segment", "powerOnHours",
// and "nsid", "failingLba", "statusCodeType", "statusCode" when the entry
// marks them valid (else empty strings).
QVariantMap nvmeSelfTestLog(Bytes log);
QString nvmeSelfTestTypeText(unsigned code);
QString nvmeSelfTestResultText(unsigned result);
// Results that say the media or the controller failed the test.
bool nvmeSelfTestFailed(unsigned result);

} // namespace corvane
