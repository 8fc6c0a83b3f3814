// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "THAppDelegate.h"
#include "drive/DriveReader.h"
#include "services/CommandRunner.h"
#include "support/Fields.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace corvane::test {

// Serves fixed answers by path on 127.0.0.1. A route may announce more
// bytes than it sends and close (a cut-off transfer) or never answer.
class LoopbackHttpServer : public QObject
{
public:
    struct Route
    {
        int status;
        QByteArray contentType, body;
        QByteArray disposition = {};    // Content-Disposition value, "" for none
        qsizetype announcedLength = -1; // -1: the body's length
        bool silent = false;            // never answers
    };

    LoopbackHttpServer()
    {
        _server.listen(QHostAddress::LocalHost);
        QObject::connect(&_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = _server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }

    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(_server.serverPort()).arg(path);
    }
    void route(const QString &path, const Route &route) { _routes.insert(path, route); }
    QStringList requests;

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray &buffer = _pending[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(buffer.split(' ').value(1));
        _pending.remove(socket);
        requests.append(path);
        const auto it = _routes.constFind(path);
        const Route r = it != _routes.constEnd() ? *it : Route{404, "text/html", "<html>Not Found</html>"};
        if (r.silent)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nContent-Type: " + r.contentType
                          + "\r\nContent-Length: "
                          + QByteArray::number(r.announcedLength < 0 ? r.body.size() : r.announcedLength)
                          + "\r\nConnection: close\r\n";
        if (!r.disposition.isEmpty())
            head += "Content-Disposition: " + r.disposition + "\r\n";
        socket->write(head + "\r\n" + r.body);
        socket->disconnectFromHost();
    }

    QTcpServer _server;
    QHash<QString, Route> _routes;
    QHash<QTcpSocket *, QByteArray> _pending;
};

// Answers commands from a script (joined arguments -> exit status and
// output) and records every call; unknown commands fail with status 1.
class FakeRunner : public app::CommandRunner
{
public:
    QHash<QString, std::pair<int, QString>> answers;
    QStringList calls;
    QStringList detached;

    int run(const QString &program, const QStringList &arguments, QString *output) override
    {
        const QString line = (QStringList{program} + arguments).join(u' ');
        calls.append(line);
        const auto [status, text] = answers.value(line, {1, QStringLiteral("unknown")});
        if (output)
            *output = text;
        return status;
    }
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        detached.append((QStringList{program} + arguments).join(u' '));
        return true;
    }
};

class TemporaryHome
{
public:
    TemporaryHome()
    {
        for (const char *variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
            _saved.append({variable, qgetenv(variable)});
            qputenv(variable, _dir.path().toUtf8() + '/' + variable);
        }
    }
    ~TemporaryHome()
    {
        for (const auto &[variable, value] : _saved)
            qputenv(variable, value);
    }
    QString path() const { return _dir.path(); }

private:
    QTemporaryDir _dir;
    QList<std::pair<const char *, QByteArray>> _saved;
};

// The window's options on the demo set, without the network. The tests close
// windows, which must not quit the application.
inline app::THAppDelegate::Options demoOptions()
{
    QApplication::setQuitOnLastWindowClosed(false);
    QString error;
    std::optional<DrivePlatform> platform =
        DrivePlatform::recorded(QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo"), &error);
    EXPECT_TRUE(platform) << error.toStdString();
    app::THAppDelegate::Options options;
    options.platform = platform ? std::make_shared<const DrivePlatform>(std::move(*platform)) : nullptr;
    options.updateDatabase = false;
    return options;
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace corvane::test
