// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlertPolicy.h"

namespace corvane {

// The hourly gather that lands a little short of a whole reminder period
// still counts; otherwise a 24 h reminder would often come after 25 h.
static constexpr std::chrono::minutes kReminderSlack{10};

QStringList alertCounterKeys()
{
    return {QStringLiteral("reallocated"), QStringLiteral("pending"), QStringLiteral("offlineUncorrectable"),
            QStringLiteral("crcErrors"), QStringLiteral("mediaErrors")};
}

QVariantMap alertCounters(const HistorySample &sample)
{
    QVariantMap counters;
    for (const QString &key : alertCounterKeys())
        if (const std::optional<qint64> value = counterValue(sample, key))
            counters.insert(key, *value);
    return counters;
}

int healthRank(const QString &health)
{
    if (health == QLatin1String("Passed"))
        return 0;
    if (health == QLatin1String("Warning"))
        return 1;
    if (health == QLatin1String("Failed"))
        return 2;
    return -1;
}

static bool counterGrew(const QVariantMap &now, const QVariantMap &before)
{
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        const QVariant old = before.value(it.key());
        if (old.isValid() && alertCounterKeys().contains(it.key()) && it.value().toLongLong() > old.toLongLong())
            return true;
    }
    return false;
}

static bool reminderDue(const QDateTime &lastAlert, const QDateTime &now, std::chrono::hours reminder)
{
    if (reminder.count() == 0)
        return false;
    // An alert "in the future" means the clock was set back: don't wait for it.
    if (!lastAlert.isValid() || lastAlert > now)
        return true;
    return lastAlert.addSecs(std::chrono::seconds(reminder - kReminderSlack).count()) <= now;
}

AlertDecision decideAlert(const QString &health, const QVariantMap &counters, const std::optional<AlertMemory> &memory,
                          const QDateTime &now, std::chrono::hours reminder)
{
    const int rank = healthRank(health);
    if (rank < 0)
        return {};
    // A memory without a known health (one taken back after a failed post) is none.
    const bool known = memory && healthRank(memory->health) >= 0;
    const AlertMemory alerted{health, counters, now, false};
    if (rank == 0) {
        if (!known || healthRank(memory->health) == 0)
            return {};
        AlertMemory better = *memory;
        better.health = health;
        better.counters = counters;
        better.silenced = false;
        return {false, better};
    }
    if (!known)
        return {true, alerted};
    const int before = healthRank(memory->health);
    if (rank > before || counterGrew(counters, memory->counters))
        return {true, alerted};
    if (!memory->silenced && reminderDue(memory->lastAlert, now, reminder))
        return {true, alerted};
    // Counters that went down (pending sectors reallocated) are the new base,
    // so growing again is news.
    AlertMemory kept = *memory;
    kept.health = health;
    for (auto it = counters.cbegin(); it != counters.cend(); ++it)
        kept.counters.insert(it.key(), it.value());
    if (kept == *memory)
        return {};
    return {false, kept};
}

bool operator==(const AlertMemory &a, const AlertMemory &b)
{
    return a.health == b.health && a.counters == b.counters && a.lastAlert == b.lastAlert && a.silenced == b.silenced;
}

} // namespace corvane
