// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QWidget>

class QPushButton;

namespace corvane {

class SharedDefaults;

// The first-run window, 750 x 650: logo, thanks, where the widget and the
// notifications are, a preview of the widget, "Start Using Corvane".
class IntroWindow : public QWidget
{
    Q_OBJECT
public:
    explicit IntroWindow(SharedDefaults &defaults, QWidget *parent = nullptr);

    QPushButton *startButton() const { return _start; }
    static QString title() { return QStringLiteral("Thanks for enabling Monitoring!"); }
    static QString explanation();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void startUsing();

    SharedDefaults &_defaults;
    QPushButton *_start = nullptr;
};

} // namespace corvane
