// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QMainWindow>
#include <functional>

namespace corvane::app {

// The main window. Closing it is quitting, so the close asks the controller
// first (a self-test may be running).
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Returns true to close now; false when the controller will decide later.
    void setCloseGuard(std::function<bool()> guard) { _guard = std::move(guard); }
    // Closes without asking (the controller already did).
    void closeNow();

Q_SIGNALS:
    void firstPaint();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<bool()> _guard;
    bool _closing = false;
    bool _painted = false;
};

} // namespace corvane::app
