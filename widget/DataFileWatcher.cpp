// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataFileWatcher.h"

#include <QDir>
#include <QFileInfo>

namespace corvane::widget {

DataFileWatcher::DataFileWatcher(const QString &filePath, QObject *parent)
    : QObject(parent), m_filePath(QFileInfo(filePath).absoluteFilePath())
{
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(50);
    connect(&m_coalesce, &QTimer::timeout, this, &DataFileWatcher::changed);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &DataFileWatcher::onEvent);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DataFileWatcher::onEvent);
    arm();
}

void DataFileWatcher::arm()
{
    // Watch the file, its folder, or, while the folder does not exist yet, the
    // nearest existing ancestor, so the first write by the agent is noticed too.
    // The file is always watched afresh: after a rename over it the old watch
    // follows the replaced inode.
    m_watcher.removePath(m_filePath);
    if (QFileInfo::exists(m_filePath))
        m_watcher.addPath(m_filePath);

    QDir dir = QFileInfo(m_filePath).absoluteDir();
    while (!dir.exists() && !dir.isRoot())
        dir.setPath(QFileInfo(dir.absolutePath()).absolutePath());
    const QString folder = dir.absolutePath();
    for (const QString &path : m_watcher.directories()) {
        if (path != folder)
            m_watcher.removePath(path);
    }
    if (!m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
}

void DataFileWatcher::onEvent()
{
    arm();
    m_coalesce.start();
}

} // namespace corvane::widget
