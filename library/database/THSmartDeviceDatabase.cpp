// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/THSmartDeviceDatabase.h"

#include "platform/Paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>

#include <sys/stat.h>

namespace corvane {

namespace {

QMutex &stateLock()
{
    static QMutex lock;
    return lock;
}

// Replaced whole by each parse, never patched, so a reader keeps a
// consistent database for as long as it holds the pointer.
std::shared_ptr<const DriveDatabase> &current()
{
    static std::shared_ptr<const DriveDatabase> db;
    return db;
}

QStringList &systemPaths()
{
    static QStringList paths{QStringLiteral("/var/lib/smartmontools/drivedb/drivedb.h"),
                             QStringLiteral("/usr/share/smartmontools/drivedb.h")};
    return paths;
}

// What identifies one version of the parsed file: a replacement (rename
// over it) changes the inode, an edit in place the size or time.
struct FileStamp
{
    QString path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    bool operator==(const FileStamp &o) const
    {
        return path == o.path && device == o.device && inode == o.inode && size == o.size
               && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

FileStamp stampOf(const QString &path)
{
    FileStamp stamp;
    stamp.path = path;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modified = st.st_mtim;
    }
    return stamp;
}

FileStamp &parsedStamp()
{
    static FileStamp stamp;
    return stamp;
}

} // namespace

int THSmartDeviceDatabase::revisionOfFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression rx(QStringLiteral(R"(\$Id: drivedb.h (\d{1,5}) )"));
    const QRegularExpressionMatch m = rx.match(QString::fromUtf8(f.read(16384)));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

THSmartDeviceDatabase::THSmartDeviceDatabase() = default;

THSmartDeviceDatabase *THSmartDeviceDatabase::instance()
{
    static THSmartDeviceDatabase *self = [] {
        auto *object = new THSmartDeviceDatabase;
        if (auto *app = QCoreApplication::instance())
            object->moveToThread(app->thread());
        return object;
    }();
    return self;
}

QString THSmartDeviceDatabase::dbPath()
{
    return groupContainer() + QStringLiteral("drivedb.h");
}

QStringList THSmartDeviceDatabase::systemDatabasePaths()
{
    QMutexLocker locker(&stateLock());
    return systemPaths();
}

void THSmartDeviceDatabase::setSystemDatabasePaths(const QStringList &paths)
{
    QMutexLocker locker(&stateLock());
    systemPaths() = paths;
}

QString THSmartDeviceDatabase::sourcePath()
{
    const QString own = dbPath();
    if (QFileInfo::exists(own))
        return own;
    QString best;
    int bestRevision = -1;
    for (const QString &path : systemDatabasePaths()) {
        const int revision = revisionOfFile(path);
        if (revision > bestRevision) {
            best = path;
            bestRevision = revision;
        }
    }
    return best.isEmpty() ? own : best;
}

bool THSmartDeviceDatabase::reloadIfChanged()
{
    {
        QMutexLocker locker(&stateLock());
        if (!current())
            return false; // parsed on first use anyway
    }
    const FileStamp now = stampOf(sourcePath());
    {
        QMutexLocker locker(&stateLock());
        if (now == parsedStamp())
            return false;
    }
    unpackDriveDBFile();
    return true;
}

bool THSmartDeviceDatabase::unpackDriveDBFile()
{
    const QString path = sourcePath();
    // Taken before reading: a replacement during the read is seen next time.
    const FileStamp stamp = stampOf(path);
    QFile file(path);
    bool readable = false;
    std::shared_ptr<const DriveDatabase> parsed;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        parsed = std::make_shared<const DriveDatabase>(DriveDatabase::parse(bytes, &readable));
    }
    if (!parsed || !readable)
        parsed = std::make_shared<const DriveDatabase>(DriveDatabase::parse(QByteArrayView()));
    {
        QMutexLocker locker(&stateLock());
        current() = parsed;
        parsedStamp() = stamp;
    }
    if (readable && QCoreApplication::instance()) {
        THSmartDeviceDatabase *self = instance();
        QMetaObject::invokeMethod(self, [self] { Q_EMIT self->databaseUpdated(); }, Qt::QueuedConnection);
    }
    return readable;
}

std::shared_ptr<const DriveDatabase> THSmartDeviceDatabase::database()
{
    {
        QMutexLocker locker(&stateLock());
        if (current())
            return current();
    }
    unpackDriveDBFile();
    QMutexLocker locker(&stateLock());
    return current();
}

QVariantMap THSmartDeviceDatabase::driveDatabase()
{
    return database()->dictionary();
}

QVariantMap THSmartDeviceDatabase::lookupDriveModel(const QString &model, const QString &firmwareVersion)
{
    return database()->lookup(model, firmwareVersion);
}

} // namespace corvane
