// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one controller of the main application: it builds the window and its
// menus, runs the start-up order, and coordinates the drive browser, the
// agent, the database refresh and the shut-down. The work itself lives in
// the classes it holds.
#include "update/DriveDatabaseUpdater.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QMessageBox;
class QProgressBar;

namespace corvane {
struct DrivePlatform;
class SharedDefaults;
}

namespace corvane::app {

class AgentManager;
class AgentService;
class DriveBrowser;
class MainWindow;
class ShutdownWatcher;

class THAppDelegate : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool testInProgress READ testInProgress NOTIFY testInProgressChanged)
    Q_PROPERTY(bool agentConnected READ agentConnected)
    Q_PROPERTY(bool showMenuItem READ showMenuItem)
    Q_PROPERTY(QVariantMap driveDatabase READ driveDatabase)
    Q_PROPERTY(QVariantMap statusSATSMARTDriver READ statusSATSMARTDriver)
public:
    struct Options
    {
        std::shared_ptr<const DrivePlatform> platform;
        // Null: the agent is left alone (a recorded set, tests of the window).
        AgentService *agentService = nullptr;
        bool updateDatabase = true;
        // Empty: the built-in sources after the maker's address setting.
        QList<DriveDbSource> sources;
        QDBusConnection sessionBus = QDBusConnection(QString());
        QDBusConnection systemBus = QDBusConnection(QString());
    };

    THAppDelegate(Options options, SharedDefaults &defaults, QObject *parent = nullptr);
    ~THAppDelegate() override;

    // The start-up order: menus, version texts, database refresh (in the
    // background), the first scan; the agent once the window shows.
    void applicationDidFinishLaunching();

    MainWindow *window() const;
    DriveBrowser *browser() const;
    AgentManager *agent() const;
    DriveDatabaseUpdater *updater() const;

    // Actions of the menus.
    void about();
    void showHelp();
    void goToHomepage();
    void goToForum();
    void goToKnowledgebase();
    void toggleAgent();
    void toggleMenuVisibility();
    void updateDB();
    void requestDatabaseUpdate();
    void installSMARTDriver();
    // Quitting: true to quit now; otherwise the "Self-Test in Progress" sheet decides.
    bool applicationShouldTerminate();
    // The machine is about to power off.
    void powerOffCallback();
    // A second corvane was started with these arguments.
    void activate(const QStringList &arguments);

    void handleMenuItem();
    void handleMenuBarVisible();
    void installAgentAlert();
    void alertUpdateFailed();

    bool testInProgress() const { return _testInProgress; }
    bool agentConnected() const;
    bool showMenuItem() const { return _showMenuItem; }
    QVariantMap driveDatabase() const { return _driveDatabase; }
    QVariantMap statusSATSMARTDriver() const;
    static QString readMachineModel(const QString &dmiFile = QStringLiteral("/sys/class/dmi/id/product_name"));
    static QString manualPath();

    // Outlets.
    QAction *agentMenuItem = nullptr;
    QAction *showingAgentMenuItem = nullptr;
    QAction *installSMARTDriverMenuItem = nullptr;
    QAction *updateDBMenuItem = nullptr;
    QLabel *versionBuildText = nullptr;
    QLabel *copyrightText = nullptr;
    QLabel *machineModelText = nullptr;
    QLabel *machineNameText = nullptr;
    QProgressBar *updateProgress = nullptr;
    // The last database update's outcome; stays while drive messages come and go.
    QLabel *databaseText = nullptr;

    static constexpr char kSuppressMonitorQuestionKey[] = "suppressMonitorDrivesQuestion";
    // The window's size and place, kept for the next start.
    static constexpr char kWindowGeometryKey[] = "mainWindowGeometry";

Q_SIGNALS:
    void testInProgressChanged(bool running);
    void quitApproved();
    // The outcome of a database refresh, as shown to the user.
    void databaseUpdateFinished(const QString &message);

private:
    void buildMenus();
    void databaseDidUpdate();
    void updateFinished(const DriveDatabaseUpdater::Result &result);
    void quit();

    Options _options;
    SharedDefaults &_defaults;
    std::unique_ptr<MainWindow> _window;
    DriveBrowser *_browser = nullptr;
    AgentManager *_agent = nullptr;
    DriveDatabaseUpdater *_updater = nullptr;
    ShutdownWatcher *_shutdown = nullptr;
    QPointer<QMessageBox> _quitSheet;
    bool _testInProgress = false;
    bool _showMenuItem = false;
    bool _rebuildPending = false;
    bool _updateFromMenu = false;
    QVariantMap _driveDatabase;
};

} // namespace corvane::app
