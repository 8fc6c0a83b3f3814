// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace corvane::widget {

// Reports changes of one file, including its atomic replacement (a new file
// renamed over it) and its first creation. The folder is watched as well as the
// file, since a rename leaves the old inode's watch behind; a burst of events
// gives one report.
class DataFileWatcher : public QObject
{
    Q_OBJECT
public:
    explicit DataFileWatcher(const QString &filePath, QObject *parent = nullptr);
    QString filePath() const { return m_filePath; }

Q_SIGNALS:
    void changed();

private:
    void arm();
    void onEvent();

    QString m_filePath;
    QFileSystemWatcher m_watcher;
    QTimer m_coalesce;
};

} // namespace corvane::widget
