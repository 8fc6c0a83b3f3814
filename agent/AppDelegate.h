// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class QMenu;
class QSystemTrayIcon;

namespace corvane {

class DrivePanel;
class IntroWindow;
class SharedDefaults;
class SMARTWatcher;

inline constexpr char kSupportAddress[] = "support@corvane.org";

// The agent's desktop side: the tray item and its drive panel, the first-run
// window, and the panel's actions. The tray item follows "showMenuBarExtra",
// whichever program changes it.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    AppDelegate(SMARTWatcher &watcher, SharedDefaults &defaults, QObject *parent = nullptr);
    ~AppDelegate() override;

    // Registers "showMenuBarExtra" = true, shows the tray item when wanted and
    // the intro on the first start.
    void launch();

    bool isTrayWanted() const { return _showTray; }
    QSystemTrayIcon *tray() const { return _tray; }
    DrivePanel *panel() const { return _panel; }
    IntroWindow *intro() const { return _intro; }

    // The panel's actions.
    void togglePanel();
    void openCorvane();
    void rescanDrives();
    void contactSupport();

    // "mailto:" with the subject and body of a support request.
    static QUrl supportUrl();

    // Replaced by tests: starting the main program, opening a URL.
    void setOpenApplication(std::function<void()> open) { _openApplication = std::move(open); }
    void setOpenUrl(std::function<bool(const QUrl &)> open) { _openUrl = std::move(open); }

private:
    void setupTray();
    void defaultsChanged(const QString &key);

    SMARTWatcher &_watcher;
    SharedDefaults &_defaults;
    QSystemTrayIcon *_tray = nullptr;
    QMenu *_trayMenu = nullptr;
    DrivePanel *_panel = nullptr;
    QPointer<IntroWindow> _intro;
    bool _showTray = true;
    bool _noTrayLogged = false;
    std::function<void()> _openApplication;
    std::function<bool(const QUrl &)> _openUrl;
};

} // namespace corvane
