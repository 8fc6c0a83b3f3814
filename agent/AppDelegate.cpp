// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppDelegate.h"

#include "DriveIcons.h"
#include "DrivePanel.h"
#include "IntroWindow.h"
#include "Notifier.h"
#include "SMARTWatcher.h"
#include "platform/SharedDefaults.h"

#include <QApplication>
#include <QDesktopServices>
#include "VectorIconEngine.h"

#include <QIconEngine>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

Q_LOGGING_CATEGORY(lcDesktop, "corvane.agent.desktop")

namespace corvane {

namespace {

// "menuIcon": the corner mark in the panel text colour, crisp at any size.
class MenuIconEngine final : public gui::VectorIconEngine
{
public:
    void paint(QPainter *p, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        gui::drawMenuIcon(*p, QRectF(rect).adjusted(1, 1, -1, -1), QApplication::palette().color(QPalette::WindowText));
        p->restore();
    }
    QIconEngine *clone() const override { return new MenuIconEngine; }
};

} // namespace

AppDelegate::AppDelegate(SMARTWatcher &watcher, SharedDefaults &defaults, QObject *parent)
    : QObject(parent), _watcher(watcher), _defaults(defaults)
{
    _openApplication = [] { openMainApplication(); };
    _openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };

    _panel = new DrivePanel;
    connect(_panel, &DrivePanel::openCorvaneRequested, this, &AppDelegate::openCorvane);
    connect(_panel, &DrivePanel::rescanRequested, this, &AppDelegate::rescanDrives);
    connect(_panel, &DrivePanel::contactSupportRequested, this, &AppDelegate::contactSupport);
    connect(&_watcher, &SMARTWatcher::smartDrivesChanged, this, [this] { _panel->setDrives(_watcher.smartDrives()); });
    _panel->setDrives(_watcher.smartDrives());
}

AppDelegate::~AppDelegate()
{
    delete _panel;
    delete _intro;
    delete _trayMenu;
}

void AppDelegate::launch()
{
    _defaults.registerDefaults({{QLatin1String(kShowMenuBarExtraKey), true}});
    _showTray = _defaults.boolValue(QLatin1String(kShowMenuBarExtraKey));
    connect(&_defaults, &SharedDefaults::valueChanged, this, &AppDelegate::defaultsChanged);
    setupTray();

    if (!_defaults.boolValue(QLatin1String(kIntroKey))) {
        _intro = new IntroWindow(_defaults);
        _intro->setAttribute(Qt::WA_DeleteOnClose);
        _intro->show();
    }
}

void AppDelegate::defaultsChanged(const QString &key)
{
    if (key != QLatin1String(kShowMenuBarExtraKey))
        return;
    const bool wanted = _defaults.boolValue(key);
    if (wanted == _showTray)
        return;
    _showTray = wanted;
    setupTray();
}

void AppDelegate::setupTray()
{
    if (!_showTray) {
        _panel->hide();
        delete _tray;
        _tray = nullptr;
        return;
    }
    if (_tray)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable() && !_noTrayLogged) {
        _noTrayLogged = true;
        qCInfo(lcDesktop) << "No system tray is available: the drive panel can't be shown, but monitoring "
                             "and notifications go on. On GNOME, install and enable the AppIndicator "
                             "extension (package gnome-shell-extension-appindicator).";
    }
    if (!_trayMenu) {
        _trayMenu = new QMenu;
        _trayMenu->addAction(QStringLiteral("Show Drives"), this, &AppDelegate::togglePanel);
        _trayMenu->addAction(QStringLiteral("Open Corvane..."), this, &AppDelegate::openCorvane);
        _trayMenu->addAction(QStringLiteral("Rescan Drives"), this, &AppDelegate::rescanDrives);
        _trayMenu->addSeparator();
        _trayMenu->addAction(QStringLiteral("Contact Support..."), this, &AppDelegate::contactSupport);
    }
    _tray = new QSystemTrayIcon(QIcon(new MenuIconEngine), this);
    _tray->setToolTip(QStringLiteral("Corvane"));
    _tray->setContextMenu(_trayMenu);
    connect(_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            togglePanel();
    });
    _tray->show();
}

void AppDelegate::togglePanel()
{
    if (!_tray)
        return;
    if (_panel->isVisible()) {
        _panel->hide();
        return;
    }
    _panel->popUp(_tray->geometry());
}

void AppDelegate::openCorvane()
{
    _panel->hide();
    if (_openApplication)
        _openApplication();
}

void AppDelegate::rescanDrives()
{
    _watcher.rescan();
}

QUrl AppDelegate::supportUrl()
{
    const QString text = QStringLiteral("mailto:") + QLatin1String(kSupportAddress)
                         + QStringLiteral("?subject=Help with Corvane&body=Hello! \n\n I have a question about Corvane:\n\n");
    // The characters a URL query may hold stay as they are; blanks and line
    // feeds become escapes.
    const QByteArray encoded = QUrl::toPercentEncoding(text, "!$&'()*+,;=:@/?");
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

void AppDelegate::contactSupport()
{
    _panel->hide();
    const QUrl url = supportUrl();
    if (url.isValid() && _openUrl && !_openUrl(url))
        qCWarning(lcDesktop) << "No mail program opens" << url.scheme() << "links";
}

} // namespace corvane
