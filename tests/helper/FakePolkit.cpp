// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for polkitd on a test bus: answers CheckAuthorization from a
// rules file ("ACTION allow|deny|challenge" per line, "*" for any action;
// the first match wins, no match denies), read at every call, and appends
// "ACTION SUBJECT-KIND:NAME" per call to a log file.
//   corvane-fake-polkit RULES LOG      (on $DBUS_SYSTEM_BUS_ADDRESS)
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>

#include <cstdio>

namespace {

class FakePolkit : public QDBusVirtualObject
{
public:
    FakePolkit(QString rules, QString log) : m_rules(std::move(rules)), m_log(std::move(log)) {}
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &m, const QDBusConnection &bus) override
    {
        if (m.member() != QLatin1String("CheckAuthorization") || m.signature() != QLatin1String("(sa{sv})sa{ss}us"))
            return false;
        const QString action = m.arguments().at(1).toString();
        const QDBusArgument subject = m.arguments().at(0).value<QDBusArgument>();
        QString kind;
        QVariantMap details;
        subject.beginStructure();
        subject >> kind >> details;
        subject.endStructure();
        QFile log(m_log);
        if (log.open(QIODevice::Append))
            log.write(QStringLiteral("%1 %2:%3\n").arg(action, kind, details.value(QStringLiteral("name")).toString()).toUtf8());

        QString answer = QStringLiteral("deny");
        QFile rules(m_rules);
        if (rules.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : rules.readAll().split('\n')) {
                const QList<QByteArray> words = line.simplified().split(' ');
                if (words.size() == 2 && (words[0] == "*" || words[0] == action.toUtf8())) {
                    answer = QString::fromUtf8(words[1]);
                    break;
                }
            }
        }
        QDBusArgument result;
        result.beginStructure();
        result << (answer == QLatin1String("allow")) << (answer == QLatin1String("challenge")) << QMap<QString, QString>();
        result.endStructure();
        bus.send(m.createReply(QVariant::fromValue(result)));
        return true;
    }

private:
    QString m_rules, m_log;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fputs("usage: corvane-fake-polkit RULES LOG\n", stderr);
        return 2;
    }
    FakePolkit polkit(args.at(1), args.at(2));
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/PolicyKit1/Authority"), &polkit)
        || !bus.registerService(QStringLiteral("org.freedesktop.PolicyKit1"))) {
        std::fprintf(stderr, "corvane-fake-polkit: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
