// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/PowerMode.h"

#include "platform/DeviceStatus.h"

#include <chrono>

namespace corvane {

PowerMode powerModeFromCount(uint8_t count)
{
    switch (count) {
    case 0x00:
    case 0x01:
    case 0x40:
        return PowerMode::Standby;
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83:
        return PowerMode::Idle;
    case 0x41:
    case 0xFF:
        return PowerMode::Active;
    default:
        return PowerMode::Unknown;
    }
}

PowerMode powerModeOf(int32_t status, uint8_t count)
{
    if (status == kStatusSuccess)
        return powerModeFromCount(count);
    if (status == statusFromSense(0x2, 0x04, 0x02))
        return PowerMode::Sleep;
    return PowerMode::Unknown;
}

QString powerModeName(PowerMode mode)
{
    switch (mode) {
    case PowerMode::Active:
        return QStringLiteral("active");
    case PowerMode::Idle:
        return QStringLiteral("idle");
    case PowerMode::Standby:
        return QStringLiteral("standby");
    case PowerMode::Sleep:
        return QStringLiteral("sleep");
    case PowerMode::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

bool isRotatingDrive(const QVariantMap &properties)
{
    return !properties.value(QStringLiteral("isNVMe")).toBool()
           && properties.value(QStringLiteral("Drive Type")).toString().contains(QLatin1String("HDD"));
}

static int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

WakeSchedule::WakeSchedule(Clock clock) : _clock(clock ? std::move(clock) : Clock(steadyMs)) {}

static bool due(const QHash<QString, int64_t> &lastRead, const QString &bsdName, int64_t now, int hours)
{
    if (hours == 0)
        return false;
    const auto last = lastRead.constFind(bsdName);
    return last == lastRead.constEnd() || now - *last >= int64_t(hours) * 3600 * 1000;
}

bool WakeSchedule::mayWake(const QString &bsdName) const
{
    return due(_lastRead, bsdName, _clock(), _hours);
}

WakePolicy WakeSchedule::policy() const
{
    return [lastRead = _lastRead, now = _clock(), hours = _hours](const QString &bsdName) {
        return due(lastRead, bsdName, now, hours);
    };
}

} // namespace corvane
