// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A drive's power mode from its answer to CHECK POWER MODE, and when a drive
// that sleeps may be woken for a read.
#include <QHash>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>

namespace corvane {

// Drive properties key: true when the drive slept through the gather and was
// not read; what else the properties hold is from its last read, if any.
inline constexpr char kAsleepKey[] = "asleep";

enum class PowerMode { Active, Idle, Standby, Sleep, Unknown };

// The count register of CHECK POWER MODE (ACS-4 table "power mode"): 0x00
// and 0x01 standby (0x01: EPC Standby_y), 0x80-0x83 idle, 0xFF active or idle,
// 0x41 active with the NV cache, spun up. 0x40 (NV cache, spun down) counts as
// standby: the platters are still, and waking them is what is being avoided.
PowerMode powerModeFromCount(uint8_t count);

// The seam's status and count. Failures mean "Unknown", so the drive is read
// as always: a drive whose bridge can't pass the command, or that misreports,
// must not go unwatched. The one failure that says a drive sleeps is a SCSI
// NOT READY "initializing command required" (02/04/02): the unit is stopped
// and a read would fail or need it started. (libata wakes a drive in SLEEP
// with a reset before any command, so the answer there is standby.)
PowerMode powerModeOf(int32_t status, uint8_t count);

inline bool isAsleep(PowerMode mode) { return mode == PowerMode::Standby || mode == PowerMode::Sleep; }
QString powerModeName(PowerMode mode);

// A rotating drive: "Drive Type" says HDD (the enumeration takes it from the
// medium type). Only those are asked before a read; solid-state drives wake
// without cost.
bool isRotatingDrive(const QVariantMap &properties);

// Whether a drive found asleep may be read anyway; empty reads every drive.
using WakePolicy = std::function<bool(const QString &bsdName)>;

// When each drive was last read, and from that which sleeping drives are due
// to be woken: at most once every `wakeHours` hours, never when it is 0. A
// drive not read yet by this process is due whenever waking is allowed.
class WakeSchedule
{
public:
    // Milliseconds on any monotonic scale; tests inject their own.
    using Clock = std::function<int64_t()>;
    explicit WakeSchedule(Clock clock = {});

    void setWakeHours(int hours) { _hours = hours < 0 ? 0 : hours; }
    int wakeHours() const { return _hours; }
    void noteRead(const QString &bsdName) { _lastRead.insert(bsdName, _clock()); }
    bool mayWake(const QString &bsdName) const;
    // A copy of the decision as it stands now, for a gather on another thread.
    WakePolicy policy() const;

private:
    Clock _clock;
    int _hours = 0;
    QHash<QString, int64_t> _lastRead;
};

} // namespace corvane
