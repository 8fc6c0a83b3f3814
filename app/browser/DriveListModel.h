// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive list: one row per drive with its health symbol, its volumes as
// indented children that can't be selected. A drive is always expandable,
// even without volumes.
#include "browser/DriveEntry.h"

#include <QAbstractItemModel>
#include <QList>

namespace corvane::app {

class DriveListModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Roles { HealthRole = Qt::UserRole + 1, KernelNameRole };

    using QAbstractItemModel::QAbstractItemModel;

    // Replaces the whole list (a rebuild).
    void setDrives(QList<DriveEntry> drives);
    // Replaces one drive's entry (a refresh of one drive).
    void replaceDrive(int row, DriveEntry entry);
    const QList<DriveEntry> &drives() const { return _drives; }
    // Row of the drive with this kernel name, -1 when it is not listed.
    int rowOf(const QString &kernelName) const;
    // The drive row an index stands for; -1 for volumes and invalid indexes.
    static int driveRow(const QModelIndex &index);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QStringList volumes(int driveRow) const;

    QList<DriveEntry> _drives;
};

} // namespace corvane::app
