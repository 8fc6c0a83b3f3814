// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "support/EventLoop.h"
#include "support/Fields.h"
#include "support/PrivateBus.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QWaitCondition>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "AgentDriveSource.h"
#include "DrivePanel.h"
#include "DriveSource.h"
#include "Notifier.h"
#include "QStringPrinter.h"
#include "SMARTDrive.h"
#include "SMARTWatcher.h"
#include "VolumeEvents.h"
#include "platform/SharedDefaults.h"

namespace corvane::test {

class TestNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call // Notify's arguments, in order, and the id it returned
    {
        QString appName;
        uint replacesId;
        QString icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int timeout;
        uint returnedId;
    };

    explicit TestNotificationServer(QDBusConnection connection) : _connection(connection) {}

    bool start()
    {
        return _connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                          QDBusConnection::ExportAllSlots)
               && _connection.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    void stop()
    {
        _connection.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        _connection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
    void click(uint id, const QString &action)
    {
        _connection.send(QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                    QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"))
                         << id << action);
    }

    QList<Call> calls;
    QList<uint> replaced; // each call's replaces_id
    QMap<uint, QString> shown; // what a person sees: id -> body of every notification not replaced
    int informationRequests = 0;
    bool silent = false;
    int unanswered = 0;

public Q_SLOTS:
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        if (silent) { // a hung server: never answers
            setDelayedReply(true);
            ++unanswered;
            return 0;
        }
        const uint id = replacesId != 0 ? replacesId : ++_lastId;
        calls.append({appName, replacesId, icon, summary, body, actions, hints, timeout, id});
        replaced.append(replacesId);
        shown.insert(id, body);
        return id;
    }
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        ++informationRequests;
        vendor = QStringLiteral("Corvane tests"), version = QStringLiteral("1"), specVersion = QStringLiteral("1.2");
        return QStringLiteral("test-notifications");
    }

private:
    QDBusConnection _connection;
    uint _lastId = 40;
};

class ReloadListener : public QObject
{
    Q_OBJECT
public:
    explicit ReloadListener(QDBusConnection connection)
    {
        connection.connect(QString(), QStringLiteral("/agent"), QStringLiteral("com.tarnholm.Corvane_HelperProtocol"),
                           QStringLiteral("reloadTimelines"), this, SLOT(reload(QString)));
    }
    QStringList kinds;

public Q_SLOTS:
    void reload(const QString &kind) { kinds.append(kind); }
};

inline QVariantMap driveProperties(const QString &bsdName, const QString &model, const QVariant &health,
                                   const QStringList &volumes = {}, const QString &location = QStringLiteral("Internal"))
{
    QVariantList records;
    for (const QString &v : volumes)
        records.append(QVariantMap{{QStringLiteral("name"), v}, {QStringLiteral("content"), QString()}});
    QVariantMap p{{QStringLiteral("bsdName"), bsdName}, {QStringLiteral("Device Model"), model},
                  {QStringLiteral("location"), location}, {QStringLiteral("volumes"), records},
                  {QStringLiteral("diskIcon"), QStringLiteral("drive-harddisk")},
                  {QStringLiteral("isNVMe"), bsdName.startsWith(QLatin1String("nvme"))}};
    if (health.isValid())
        p.insert(QStringLiteral("attributeHealth"), health);
    return p;
}

inline SMARTDrive summary(const char *bsd, const char *model, const QVariant &health, const QStringList &volumes = {},
                          const char *location = "Internal")
{
    return *SMARTDrive::fromProperties(driveProperties(bsd, model, health, volumes, location));
}

inline int storeSetting(const QString &file, const char *key, const char *json)
{
    return QProcess::execute(QStringLiteral(SETTINGS_WRITER), {file, QString::fromLatin1(key), QString::fromUtf8(json)});
}

class BlockingSource : public corvane::DriveSource
{
public:
    std::optional<QList<QVariantMap>> readAllDrives(const QVariantMap &) override
    {
        QMutexLocker locker(&_lock);
        ++_reads;
        while (_blocked)
            _released.wait(&_lock);
        return QList<QVariantMap>{driveProperties(QStringLiteral("sda"), QStringLiteral("A"), QStringLiteral("Failed"))};
    }
    void release()
    {
        QMutexLocker locker(&_lock);
        _blocked = false;
        _released.wakeAll();
    }
    int reads()
    {
        QMutexLocker locker(&_lock);
        return _reads;
    }

private:
    QMutex _lock;
    QWaitCondition _released;
    bool _blocked = true;
    int _reads = 0;
};

// A bus with a notification server and a settings file with alerts allowed.
struct NotifyingFixture : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning());
        ASSERT_TRUE(server.start());
        defaults->setValue("ShouldNotifyUser", true);
    }

    PrivateBus bus;
    TestNotificationServer server{bus.connect()};
    QTemporaryDir home;
    std::unique_ptr<SharedDefaults> defaults = std::make_unique<SharedDefaults>(home.filePath("suite.conf"));
};

} // namespace corvane::test

using namespace corvane;
using namespace corvane::test;
using namespace std::chrono_literals;
