// SPDX-License-Identifier: GPL-3.0-or-later
#include "Provider.h"

#include "platform/Paths.h"

#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::widget {

namespace {

Q_LOGGING_CATEGORY(lcWidgetData, "corvane.widget.data")

QString &pathOverride()
{
    static QString path;
    return path;
}

struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<QByteArray> readDataFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO planted under the file's name must not hang us.
    FdCloser f{::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (f.fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxDataFileSize)
        return std::nullopt;

    QByteArray data;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(f.fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buffer, n);
        // The file may grow after fstat; never hold more than the limit.
        if (data.size() > kMaxDataFileSize)
            return std::nullopt;
    }
    return data;
}

std::optional<QList<SMARTDrive>> decodeAppData(const QByteArray &json)
{
    QStringList problems;
    std::optional<QList<SMARTDrive>> drives = decodeDrivesForWidget(json, &problems);
    for (const QString &problem : problems)
        qCWarning(lcWidgetData).noquote() << "Decode error:" << problem;
    return drives;
}

QString dataFilePath()
{
    if (!pathOverride().isEmpty())
        return pathOverride();
    return corvane::groupContainer() + QLatin1String(kWidgetDataFileName);
}

void setDataFilePathOverride(const QString &path)
{
    pathOverride() = path;
}

std::optional<QList<SMARTDrive>> loadAppData()
{
    const std::optional<QByteArray> content = readDataFile(dataFilePath());
    if (!content)
        return std::nullopt;
    return decodeAppData(*content);
}

DriveEntry Provider::placeholder() const
{
    return DriveEntry{QDateTime::currentDateTime(), {exampleDrive()}, {}};
}

DriveEntry Provider::currentEntry()
{
    DriveEntry entry{QDateTime::currentDateTime(), {}, {}};
    if (std::optional<QList<SMARTDrive>> drives = loadAppData())
        entry.drives = std::move(*drives);
    else
        entry.notice = QLatin1String(kNoDataNotice);
    return entry;
}

void Provider::getSnapshot(const std::function<void(const DriveEntry &)> &completion) const
{
    completion(currentEntry());
}

void Provider::getTimeline(const std::function<void(const Timeline &)> &completion) const
{
    completion(Timeline{{currentEntry()}, ReloadPolicy::Never});
}

namespace {
// Only a verdict that says something is wrong ranks; an unknown "-" does not
// outrank a shown drive.
int severity(const QString &health)
{
    if (health == QLatin1String("Failed"))
        return 2;
    if (health == QLatin1String("Warning"))
        return 1;
    return 0;
}
} // namespace

std::optional<HiddenAlert> hiddenAlert(const DriveEntry &entry, int shownCount)
{
    const qsizetype shown = qBound(qsizetype(0), qsizetype(shownCount), entry.drives.size());
    int shownWorst = 0;
    for (qsizetype i = 0; i < shown; ++i)
        shownWorst = qMax(shownWorst, severity(entry.drives.at(i).health));
    int hiddenWorst = 0;
    QString health;
    for (qsizetype i = shown; i < entry.drives.size(); ++i) {
        const QString h = entry.drives.at(i).health;
        if (severity(h) > hiddenWorst) {
            hiddenWorst = severity(h);
            health = h;
        }
    }
    if (hiddenWorst <= shownWorst)
        return std::nullopt;
    return HiddenAlert{health, int(entry.drives.size() - shown)};
}

} // namespace corvane::widget
