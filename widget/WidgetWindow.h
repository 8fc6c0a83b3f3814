// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "Provider.h"
#include "WidgetFamily.h"

#include <QDBusConnection>
#include <QPointF>
#include <QWidget>
#include <functional>
#include <optional>

namespace corvane::widget {

class DataFileWatcher;
class ReloadListener;

// The desktop widget: a frameless window drawing the current entry in the chosen
// family. It reloads when the agent asks on `bus` and when data.json changes; a
// click on a row opens the main application; the context menu picks the family.
class WidgetWindow : public QWidget
{
    Q_OBJECT
public:
    explicit WidgetWindow(QDBusConnection bus = QDBusConnection::sessionBus(),
                          QWidget *parent = nullptr);
    ~WidgetWindow() override;

    const DriveEntry &entry() const { return m_entry; }
    WidgetFamily family() const { return m_family; }
    // Switches the family, resizes, and remembers the choice.
    void setFamily(WidgetFamily family);
    // Index of the row under `pos`, if any.
    std::optional<int> rowAt(const QPointF &pos) const;
    bool isListeningForReloads() const;

    // What a click on a row does with the link; openMainApplication by default.
    void setLinkOpener(std::function<void(const QString &)> opener);

public Q_SLOTS:
    // Reads data.json again and redraws.
    void reload();

Q_SIGNALS:
    void entryChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    Provider m_provider;
    DriveEntry m_entry;
    WidgetFamily m_family;
    ReloadListener *m_listener = nullptr;
    DataFileWatcher *m_watcher = nullptr;
    std::function<void(const QString &)> m_openLink;
    std::optional<QPointF> m_pressPos;
};

} // namespace corvane::widget
