// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include <QCloseEvent>
#include <QStatusBar>
#include <QTimer>

namespace corvane::app {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Corvane"));
    resize(1100, 720);
    // The status bar paints with every frame of the window: its first paint
    // is the window's.
    statusBar()->installEventFilter(this);
}

void MainWindow::closeNow()
{
    _closing = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (_closing || !_guard || _guard()) {
        event->accept();
        return;
    }
    event->ignore();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (!_painted && event->type() == QEvent::Paint) {
        _painted = true;
        QTimer::singleShot(0, this, &MainWindow::firstPaint);
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace corvane::app
