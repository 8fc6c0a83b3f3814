// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "SMARTDrive.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace corvane::widget {

// One state of the widget: the drives to draw, filtered and sorted.
struct DriveEntry
{
    QDateTime date;
    QList<SMARTDrive> drives;
    // Set when there is no usable data file: the widget shows this line instead
    // of tiles rather than anything stale or half-read.
    QString notice;
};

inline constexpr char kNoDataNotice[] = "Start monitoring in Corvane";

// The drives a family can't show, when the worst of them is worse than every
// shown one: the corner mark then carries that health and the count, so a
// small green widget never hides a failing disk.
struct HiddenAlert
{
    QString health;   // "Warning" or "Failed"
    int hiddenCount = 0;
};
std::optional<HiddenAlert> hiddenAlert(const DriveEntry &entry, int shownCount);

enum class ReloadPolicy { Never };

struct Timeline
{
    QList<DriveEntry> entries;
    ReloadPolicy policy = ReloadPolicy::Never;
};

// Largest data.json taken seriously; a gather of a few hundred drives stays far below.
inline constexpr qint64 kMaxDataFileSize = 1 << 20;

// Reads the whole file at `path`. No result when it is missing, not a regular file
// (a FIFO would block the reader) or larger than kMaxDataFileSize.
std::optional<QByteArray> readDataFile(const QString &path);

// decodeDrivesForWidget(), with a warning (category corvane.widget.data) for
// each record dropped for its "health".
std::optional<QList<SMARTDrive>> decodeAppData(const QByteArray &json);

// data.json in the group container, or `overridePath` when one is set.
QString dataFilePath();
void setDataFilePathOverride(const QString &path);

// readDataFile + decodeAppData on dataFilePath().
std::optional<QList<SMARTDrive>> loadAppData();

// Makes timeline entries. It has no state; every call reads the file afresh.
class Provider
{
public:
    DriveEntry placeholder() const;
    void getSnapshot(const std::function<void(const DriveEntry &)> &completion) const;
    void getTimeline(const std::function<void(const Timeline &)> &completion) const;

    // An entry made now from loadAppData(); when that has no result, an entry
    // without drives carrying kNoDataNotice.
    static DriveEntry currentEntry();
};

} // namespace corvane::widget
