// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetWindow.h"

#include "DataFileWatcher.h"
#include "DeepLink.h"
#include "ReloadListener.h"
#include "platform/WidgetCenter.h"
#include "WidgetPainter.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace corvane::widget {

WidgetWindow::WidgetWindow(QDBusConnection bus, QWidget *parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnBottomHint),
      m_family(storedFamily()), m_openLink([](const QString &url) { openMainApplication(url); })
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QLatin1String(kWidgetDisplayName));
    setAccessibleName(QLatin1String(kWidgetDisplayName));
    setAccessibleDescription(QLatin1String(kWidgetDescription));
    setFixedSize(familyCanvasSize(m_family));

    m_listener = new ReloadListener(std::move(bus), this);
    connect(m_listener, &ReloadListener::reloadRequested, this, &WidgetWindow::reload);
    m_watcher = new DataFileWatcher(dataFilePath(), this);
    connect(m_watcher, &DataFileWatcher::changed, this, &WidgetWindow::reload);
    reload();
}

WidgetWindow::~WidgetWindow() = default;

void WidgetWindow::reload()
{
    m_provider.getTimeline([this](const Timeline &timeline) {
        // One entry per timeline, and the policy is never to refresh on our own.
        m_entry = timeline.entries.value(0);
    });
    update();
    Q_EMIT entryChanged();
}

void WidgetWindow::setFamily(WidgetFamily family)
{
    m_family = family;
    storeFamily(family);
    setFixedSize(familyCanvasSize(family));
    update();
}

std::optional<int> WidgetWindow::rowAt(const QPointF &pos) const
{
    const WidgetGeometry geometry = layoutEntry(m_entry, m_family);
    for (int i = 0; i < geometry.rows.size(); ++i) {
        if (geometry.rows.at(i).rect.contains(pos))
            return i;
    }
    return std::nullopt;
}

bool WidgetWindow::isListeningForReloads() const
{
    return m_listener->isListening();
}

void WidgetWindow::setLinkOpener(std::function<void(const QString &)> opener)
{
    m_openLink = std::move(opener);
}

void WidgetWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintEntry(painter, m_entry, m_family, systemAppearance());
}

void WidgetWindow::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    auto *families = new QActionGroup(&menu);
    const std::pair<WidgetFamily, QString> labels[] = {
        {WidgetFamily::Small, tr("Small")},
        {WidgetFamily::Medium, tr("Medium")},
        {WidgetFamily::Large, tr("Large")},
    };
    for (const auto &[family, label] : labels) {
        QAction *action = menu.addAction(label);
        action->setCheckable(true);
        action->setChecked(family == m_family);
        families->addAction(action);
        connect(action, &QAction::triggered, this, [this, f = family] { setFamily(f); });
    }
    menu.addSeparator();
    connect(menu.addAction(tr("Open Corvane")), &QAction::triggered, this,
            [this] { m_openLink(QLatin1String(kWidgetDeepLink)); });
    connect(menu.addAction(tr("Close Widget")), &QAction::triggered, qApp, &QApplication::quit);
    menu.exec(event->globalPos());
}

void WidgetWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPos = event->position();
    QWidget::mousePressEvent(event);
}

void WidgetWindow::mouseMoveEvent(QMouseEvent *event)
{
    // Without a title bar the window is moved by dragging it anywhere.
    if (m_pressPos && (event->position() - *m_pressPos).manhattanLength()
                          >= QApplication::startDragDistance()) {
        m_pressPos.reset();
        if (QWindow *window = windowHandle())
            window->startSystemMove();
    }
    QWidget::mouseMoveEvent(event);
}

void WidgetWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_pressPos) {
        m_pressPos.reset();
        if (rowAt(event->position()) && m_openLink)
            m_openLink(QLatin1String(kWidgetDeepLink));
    }
    QWidget::mouseReleaseEvent(event);
}

void WidgetWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange
        || event->type() == QEvent::StyleChange)
        update();
    QWidget::changeEvent(event);
}

} // namespace corvane::widget
