// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "HealthStyle.h"
#include "SMARTDrive.h"

#include <QList>
#include <QWidget>

class QLabel;
class QMenu;
class QToolButton;
class QVBoxLayout;

namespace corvane {

// The health badge of a row: a 23 px disc in "statusBackground" at 80 %
// with the health symbol, 18 px, on top.
class HealthBadge : public QWidget
{
    Q_OBJECT
public:
    explicit HealthBadge(const QString &health, QWidget *parent = nullptr);
    QString health() const { return _health; }
    // The symbol's colour in the current appearance.
    QColor symbolColor() const;
    QSize sizeHint() const override { return {23, 23}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString _health;
};

// One drive: icon, device name, model, volume names, health badge.
class DriveRow : public QWidget
{
    Q_OBJECT
public:
    DriveRow(const SMARTDrive &drive, QWidget *parent = nullptr);
    // The three text lines, top to bottom.
    QStringList lines() const;
    HealthBadge *badge() const { return _badge; }

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    void paintEvent(QPaintEvent *) override;

private:
    QList<QLabel *> _lines;
    HealthBadge *_badge = nullptr;
    bool _hovered = false;
};

// The tray item's panel: 400 px wide, the header "Corvane" with its menu,
// then one row per drive in list order. It hides when it loses focus.
class DrivePanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 400;

    explicit DrivePanel(QWidget *parent = nullptr);
    void setDrives(const QList<SMARTDrive> &drives);

    QList<DriveRow *> rows() const { return _rows; }
    QMenu *menu() const { return _menu; }

    // Shows the panel next to `anchor` (the tray item; a null rect places it
    // at the mouse pointer), kept on the screen.
    void popUp(const QRect &anchor);

Q_SIGNALS:
    void openCorvaneRequested();
    void rescanRequested();
    void contactSupportRequested();

protected:
    bool event(QEvent *event) override;

private:
    QVBoxLayout *_layout = nullptr;
    QMenu *_menu = nullptr;
    QList<DriveRow *> _rows;
};

} // namespace corvane
