// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/DriveListModel.h"

#include "HealthStyle.h"
#include "display/DisplayFormats.h"
#include "drive/PowerMode.h"

#include <QGuiApplication>
#include <QPalette>

namespace corvane::app {

// internalId: 0 for drives, drive row + 1 for that drive's volumes.

void DriveListModel::setDrives(QList<DriveEntry> drives)
{
    beginResetModel();
    _drives = std::move(drives);
    endResetModel();
}

void DriveListModel::replaceDrive(int row, DriveEntry entry)
{
    if (row < 0 || row >= _drives.size())
        return;
    const int before = int(volumes(row).size());
    const int after = int(entry.properties().value(QStringLiteral("volumes")).toList().size());
    const QModelIndex drive = index(row, 0);
    if (before != after) {
        // Volume rows change: the simplest correct signal is a reset of the row's children.
        if (before)
            beginRemoveRows(drive, 0, before - 1);
        _drives[row] = std::move(entry);
        if (before)
            endRemoveRows();
        if (after) {
            beginInsertRows(drive, 0, after - 1);
            endInsertRows();
        }
    } else {
        _drives[row] = std::move(entry);
        if (after)
            Q_EMIT dataChanged(index(0, 0, drive), index(after - 1, 0, drive));
    }
    Q_EMIT dataChanged(drive, drive);
}

int DriveListModel::rowOf(const QString &kernelName) const
{
    for (int i = 0; i < _drives.size(); ++i)
        if (_drives[i].bsdName() == kernelName)
            return i;
    return -1;
}

int DriveListModel::driveRow(const QModelIndex &index)
{
    return index.isValid() && index.internalId() == 0 ? index.row() : -1;
}

QStringList DriveListModel::volumes(int driveRow) const
{
    QStringList names;
    if (driveRow < 0 || driveRow >= _drives.size())
        return names;
    for (const QVariant &v : _drives[driveRow].properties().value(QStringLiteral("volumes")).toList())
        names << display::blankLineXfmr(v.toMap().value(QStringLiteral("name")));
    return names;
}

QModelIndex DriveListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < _drives.size() ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    const int drive = driveRow(parent);
    if (drive < 0 || row >= volumes(drive).size())
        return {};
    return createIndex(row, 0, quintptr(drive + 1));
}

QModelIndex DriveListModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int DriveListModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(_drives.size());
    const int drive = driveRow(parent);
    return drive < 0 ? 0 : int(volumes(drive).size());
}

int DriveListModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool DriveListModel::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() ? !_drives.isEmpty() : driveRow(parent) >= 0;
}

QVariant DriveListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int drive = driveRow(index);
    if (drive < 0) {
        const QString name = volumes(int(index.internalId() - 1)).value(index.row());
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return name;
        return {};
    }
    const DriveEntry &e = _drives[drive];
    const QString health = e.properties().value(QStringLiteral("attributeHealth")).toString();
    const QString word = health.isEmpty() ? QStringLiteral("-") : health;
    // Not read because it sleeps: the values shown are from its last read.
    const bool asleep = e.properties().value(QLatin1String(kAsleepKey)).toBool();
    switch (role) {
    case Qt::DisplayRole:
        return asleep ? QStringLiteral("%1 (asleep)").arg(e.bsdName()) : e.bsdName();
    case Qt::DecorationRole: {
        const QPalette palette = QGuiApplication::palette();
        const auto appearance = palette.color(QPalette::Window).lightness() < 128 ? gui::Appearance::Dark
                                                                                  : gui::Appearance::Light;
        return gui::healthIcon(health, appearance);
    }
    case Qt::ToolTipRole:
        return QStringLiteral("%1: %2%3").arg(display::blankLineXfmr(e.properties().value(QStringLiteral("Device Model"))), word,
                                              asleep ? QStringLiteral(", asleep (Update Drive Information reads it)") : QString());
    case Qt::AccessibleTextRole:
        return QStringLiteral("%1, %2%3").arg(e.bsdName(), word, asleep ? QStringLiteral(", asleep") : QString());
    case Qt::AccessibleDescriptionRole:
        return word;
    case HealthRole:
        return word;
    case KernelNameRole:
        return e.bsdName();
    default:
        return {};
    }
}

Qt::ItemFlags DriveListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return driveRow(index) >= 0 ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsEnabled;
}

} // namespace corvane::app
