// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDBusConnection>
#include <QObject>

namespace corvane::widget {

// Listens on a bus for the agent's reloadTimelines signal (WidgetCenter.h) and
// passes on the requests meant for this widget's kind.
class ReloadListener : public QObject
{
    Q_OBJECT
public:
    explicit ReloadListener(QDBusConnection bus, QObject *parent = nullptr);
    ~ReloadListener() override;
    // False when the bus is not connected or refused the match rule.
    bool isListening() const { return m_listening; }

Q_SIGNALS:
    void reloadRequested();

private Q_SLOTS:
    void onReloadTimelines(const QString &kind);

private:
    QDBusConnection m_bus;
    bool m_listening = false;
};

} // namespace corvane::widget
