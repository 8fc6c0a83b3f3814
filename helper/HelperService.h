// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The helper's one object on the system bus. Each call is decoded against the
// fixed operations, authorised by polkit for the calling bus name, and only
// then turned into a seam call on a drive the backend resolved.
#include "DeviceBackend.h"
#include "HelperProtocol.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QHash>
#include <QTimer>

namespace corvane::helper {

class HelperService : public QDBusVirtualObject
{
    Q_OBJECT
public:
    HelperService(QDBusConnection connection, std::unique_ptr<DeviceBackend> backend, int idleMs,
                  QObject *parent = nullptr);

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

Q_SIGNALS:
    // No request for the idle time: main() gives the bus name up, so that
    // the bus starts a new helper for the next call, and after a short grace
    // for calls already on their way (idle() again) quits.
    void releaseName();
    void idle();

private:
    void authorised(const QDBusMessage &message, const Request &request, uint uid);
    void refuse(const QDBusMessage &message, uint uid, const char *errorName, const QString &reason);
    void finished();
    void logDenied(uint uid, const QString &line);
    uint callerUid(const QString &sender);

    QDBusConnection m_connection;
    std::unique_ptr<DeviceBackend> m_backend;
    QTimer m_idle;
    int m_active = 0;
    bool m_released = false;
    struct DeniedLog
    {
        QElapsedTimer window;
        int lines = 0;
        int suppressed = 0;
    };
    QHash<uint, DeniedLog> m_denied;
    // Per unique bus name (never reused on a bus): its uid, and when polkit
    // last allowed it to read. A drive read is a burst of eight calls.
    QHash<QString, uint> m_uids;
    QHash<QString, QElapsedTimer> m_readAllowed;
};

} // namespace corvane::helper
