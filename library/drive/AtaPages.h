// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A drive's raw ATA pages as one value, and the one pipeline that turns them
// into drive properties. The SMART session, `corvanectl decode`, the benchmark
// and the main application all decode through decodeAtaDrive(), so that a
// drive decodes the same whichever front end read its pages.
#include "drive/Bytes.h"

#include <QString>
#include <QVariantMap>
#include <array>

namespace corvane {

class DriveDatabase;

inline constexpr size_t kAtaPageBytes = 512;
using Page = std::array<uint8_t, kAtaPageBytes>;

// The bytes of the SMART READ DATA page that the code reads by offset.
namespace smartdata {
inline constexpr size_t kRevision = 0;              // little-endian word
inline constexpr size_t kSelfTestStatus = 363;      // high nibble status, low nibble tenths left
inline constexpr size_t kShortPollingMinutes = 372;
inline constexpr size_t kExtendedPollingMinutes = 373; // 255: see the word below
inline constexpr size_t kExtendedPollingWord = 375;    // little-endian word
inline constexpr uint8_t kStatusInProgress = 15;
} // namespace smartdata

// The pages of one drive and which of them were read. A page that was not
// read is not decoded.
struct AtaPages
{
    enum Kind { Identity, SmartData, Thresholds, LogDirectory, ErrorLog, SelfTestLog, KindCount };

    Page identity{};
    Page smartData{};
    Page smartThresh{};
    Page logDirectory{};
    Page errorLog{};
    Page testLog{};
    std::array<bool, KindCount> present{};

    Page &page(Kind kind);
    const Page &page(Kind kind) const;
    bool has(Kind kind) const { return present[kind]; }
};

// File names of a folder of recorded pages (docs/recorded-pages.md), in the
// order of AtaPages::Kind, and the SMART log address each log page comes from.
struct AtaPageFile
{
    AtaPages::Kind kind;
    const char *fileName;
    int logAddress; // -1 for the pages that are not logs
};
inline constexpr std::array<AtaPageFile, AtaPages::KindCount> kAtaPageFiles{{
    {AtaPages::Identity, "identify.bin", -1},
    {AtaPages::SmartData, "smart.bin", -1},
    {AtaPages::Thresholds, "thresholds.bin", -1},
    {AtaPages::LogDirectory, "smartlog-00-directory.bin", 0},
    {AtaPages::ErrorLog, "smartlog-01-error.bin", 1},
    {AtaPages::SelfTestLog, "smartlog-06-selftest.bin", 6},
}};
// SMART RETURN STATUS as recorded: "1 good" or "0 failing".
inline constexpr char kAtaStatusFileName[] = "smart_status.txt";
QString ataPageFileName(AtaPages::Kind kind);

// Sum of the first 512 bytes is 0 modulo 256; false for a shorter span.
bool ataChecksumValid(Bytes page);
// Makes a page's checksum (its last byte) valid after changing it.
void ataFixChecksum(std::span<uint8_t> page);
// SMART data with a revision other than 0 or 0xFFFF and a valid checksum.
bool smartDataValid(Bytes smartData);

// The status texts of a self-test, indexed by the high nibble of its status
// byte: the drive's execution status (SMART data byte 363) or a self-test log entry.
enum class SelfTestTexts { Execution, Log };
QString selfTestStatusText(unsigned nibble, SelfTestTexts texts = SelfTestTexts::Execution);
// The text of a whole self-test status byte: the outcome and the percentage
// done ("Pass 100%"), from the low nibble's tenths left.
QString selfTestStatusLine(uint8_t status, SelfTestTexts texts = SelfTestTexts::Execution);

// The expected duration of a self-test in minutes, from a SMART data page.
unsigned selfTestPollingMinutes(Bytes smartData, bool extended);

// The drive properties of a drive with these pages: `settings` merged with
// every decoded page, later writers winning. IDENTIFY is decoded when it is
// valid; a SMART data page that is present but invalid reads as zeros and gives
// "-" verdicts. The attribute pass uses the settings' model and firmware (the
// names the database knows the drive by), IDENTIFY's when the settings have none.
// `ignore` is the "ignoreAttributes" dictionary, `exceeded` the drive's SMART
// RETURN STATUS verdict.
QVariantMap decodeAtaDrive(const AtaPages &pages, const QVariantMap &settings, const DriveDatabase &db,
                           const QVariantMap &ignore, bool exceeded);

} // namespace corvane
