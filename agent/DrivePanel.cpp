// SPDX-License-Identifier: GPL-3.0-or-later
#include "DrivePanel.h"

#include "DriveIcons.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include "VectorIconEngine.h"

#include <QIconEngine>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace corvane {

namespace {

QColor secondaryText(const QWidget *w)
{
    return w->palette().color(QPalette::PlaceholderText);
}

// "ellipsis.circle": a ring with three dots, in the secondary text colour.
class EllipsisEngine final : public gui::VectorIconEngine
{
public:
    explicit EllipsisEngine(QColor color) : _color(std::move(color)) {}
    void paint(QPainter *p, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const qreal s = qMin(rect.width(), rect.height());
        const QPointF c = QRectF(rect).center();
        p->setPen(QPen(_color, s / 14.0));
        p->setBrush(Qt::NoBrush);
        p->drawEllipse(c, s * 0.42, s * 0.42);
        p->setPen(Qt::NoPen);
        p->setBrush(_color);
        for (int i = -1; i <= 1; ++i)
            p->drawEllipse(c + QPointF(i * s * 0.2, 0), s * 0.055, s * 0.055);
        p->restore();
    }
    QIconEngine *clone() const override { return new EllipsisEngine(_color); }

private:
    QColor _color;
};

} // namespace

HealthBadge::HealthBadge(const QString &health, QWidget *parent) : QWidget(parent), _health(health)
{
    setFixedSize(23, 23);
    setAccessibleName(health == QLatin1String("-") || health.isEmpty() ? QStringLiteral("No verdict") : health);
    setToolTip(accessibleName());
}

QColor HealthBadge::symbolColor() const
{
    return gui::statusColor(_health, gui::systemAppearance());
}

void HealthBadge::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const gui::Appearance appearance = gui::systemAppearance();
    gui::paintHealthBadge(p, QRectF(rect()), _health, gui::statusBackground(appearance), 0.8, 18, appearance);
}

DriveRow::DriveRow(const SMARTDrive &drive, QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(drive.bsdName + QLatin1Char(' ') + drive.health + (drive.asleep ? QStringLiteral(", asleep") : QString()));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 5, 4);
    layout->setSpacing(8);

    auto *icon = new QLabel(this);
    const gui::DriveKind kind = drive.location == QLatin1String("Internal") ? gui::DriveKind::Internal
                                                                           : gui::DriveKind::External;
    icon->setPixmap(gui::driveIcon(drive.icon, kind).pixmap(QSize(34, 34), devicePixelRatioF()));
    icon->setFixedSize(34, 34);
    layout->addWidget(icon);
    layout->addSpacing(2);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(0);
    // A drive that slept through the gather says so under its name: what the
    // row shows is from its last read.
    const QString third = !drive.asleep          ? drive.volName
                          : drive.volName.isEmpty() ? QStringLiteral("asleep")
                                                    : drive.volName + QStringLiteral(" · asleep");
    for (const QString &line : {drive.bsdName, drive.hwName, third}) {
        auto *label = new QLabel(line, this);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(0);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        texts->addWidget(label);
        _lines.append(label);
    }
    QFont headline = _lines[0]->font();
    headline.setBold(true);
    _lines[0]->setFont(headline);
    layout->addLayout(texts, 1);

    _badge = new HealthBadge(drive.health, this);
    layout->addWidget(_badge, 0, Qt::AlignVCenter);
}

QStringList DriveRow::lines() const
{
    QStringList out;
    for (const QLabel *l : _lines)
        out.append(l->text());
    return out;
}

void DriveRow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void DriveRow::enterEvent(QEnterEvent *)
{
    _hovered = true;
    update();
}

void DriveRow::leaveEvent(QEvent *)
{
    _hovered = false;
    update();
}

void DriveRow::paintEvent(QPaintEvent *)
{
    if (!_hovered)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor hover = palette().color(QPalette::Highlight);
    hover.setAlphaF(0.15);
    p.setPen(Qt::NoPen);
    p.setBrush(hover);
    p.drawRoundedRect(QRectF(rect()), 6, 6);
}

DrivePanel::DrivePanel(QWidget *parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Corvane"));
    setFixedWidth(kWidth);
    _layout = new QVBoxLayout(this);
    _layout->setSizeConstraint(QLayout::SetFixedSize);
    _layout->setContentsMargins(12, 10, 12, 12);
    _layout->setSpacing(4);

    auto *header = new QHBoxLayout;
    auto *title = new QLabel(QStringLiteral("Corvane"), this);
    QPalette secondary = title->palette();
    secondary.setColor(QPalette::WindowText, secondaryText(this));
    title->setPalette(secondary);
    header->addWidget(title);
    header->addStretch(1);

    auto *more = new QToolButton(this);
    more->setIcon(QIcon(new EllipsisEngine(secondaryText(this))));
    more->setIconSize(QSize(22, 22));
    more->setMaximumWidth(30);
    more->setAutoRaise(true);
    more->setPopupMode(QToolButton::InstantPopup);
    more->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    more->setAccessibleName(QStringLiteral("Corvane menu"));
    more->setToolTip(QStringLiteral("Corvane menu"));
    _menu = new QMenu(more);
    _menu->addAction(QStringLiteral("Open Corvane..."), this, &DrivePanel::openCorvaneRequested);
    _menu->addAction(QStringLiteral("Rescan Drives"), this, &DrivePanel::rescanRequested);
    _menu->addSeparator();
    _menu->addAction(QStringLiteral("Contact Support..."), this, &DrivePanel::contactSupportRequested);
    more->setMenu(_menu);
    header->addWidget(more);
    _layout->addLayout(header);
    setDrives({});
}

void DrivePanel::setDrives(const QList<SMARTDrive> &drives)
{
    for (DriveRow *row : std::as_const(_rows)) {
        _layout->removeWidget(row);
        delete row;
    }
    _rows.clear();
    for (const SMARTDrive &drive : drives) {
        auto *row = new DriveRow(drive, this);
        row->setFixedWidth(kWidth - _layout->contentsMargins().left() - _layout->contentsMargins().right());
        connect(row, &DriveRow::clicked, this, &DrivePanel::openCorvaneRequested);
        _layout->addWidget(row);
        _rows.append(row);
    }
    adjustSize();
}

void DrivePanel::popUp(const QRect &anchor)
{
    adjustSize();
    const QPoint at = anchor.isValid() ? anchor.center() : QCursor::pos();
    QScreen *screen = QGuiApplication::screenAt(at);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(at, size());
    // Below the item when it sits at the top of the screen, above it otherwise.
    QPoint pos(at.x() - width() / 2, anchor.isValid() ? anchor.bottom() + 4 : at.y());
    if (pos.y() + height() > area.bottom())
        pos.setY((anchor.isValid() ? anchor.top() : at.y()) - height() - 4);
    pos.setX(std::clamp(pos.x(), area.left(), std::max(area.left(), area.right() - width())));
    pos.setY(std::clamp(pos.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    move(pos);
    show();
    raise();
    activateWindow();
}

bool DrivePanel::event(QEvent *event)
{
    // Transient, like a popover: clicking elsewhere closes it. Its own menu
    // takes the focus while open; that doesn't count.
    if (event->type() == QEvent::WindowDeactivate && !_menu->isVisible())
        hide();
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
        hide();
    return QWidget::event(event);
}

} // namespace corvane
