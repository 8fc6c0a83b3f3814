// SPDX-License-Identifier: GPL-3.0-or-later
#include "THAppDelegate.h"

#include "MainWindow.h"
#include "about/AboutDialog.h"
#include "browser/DriveBrowser.h"
#include "database/THSmartDeviceDatabase.h"
#include "database/thVendorDB.h"
#include "display/DisplayFormats.h"
#include "drive/DriveReader.h"
#include "drive/ManufacturerLogos.h"
#include "platform/SharedDefaults.h"
#include "services/AgentManager.h"
#include "services/AgentService.h"
#include "services/SatStatus.h"
#include "services/ShutdownWatcher.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

Q_LOGGING_CATEGORY(lcAppShell, "corvane.app")

namespace corvane::app {

namespace {
const QString kHomepage = QStringLiteral("https://corvane.tarnholm.com/");
const QString kForum = QStringLiteral("https://corvane.tarnholm.com/forum/");
const QString kKnowledgebase = QStringLiteral("https://corvane.tarnholm.com/kb/");
} // namespace

THAppDelegate::THAppDelegate(Options options, SharedDefaults &defaults, QObject *parent)
    : QObject(parent)
    , _options(std::move(options))
    , _defaults(defaults)
{
    _defaults.registerDefaults(defaultSharedRegistrations());
    _window = std::make_unique<MainWindow>();
    _window->setCloseGuard([this] { return applicationShouldTerminate(); });
    _browser = new DriveBrowser(_options.platform, _window.get());
    _window->setCentralWidget(_browser);

    _updater = new DriveDatabaseUpdater(this);
    _updater->setSources(_options.sources.isEmpty()
                             ? DriveDatabaseUpdater::defaultSources(
                                   _defaults.value(QLatin1String(DriveDatabaseUpdater::kMakerSourceKey)).toString())
                             : _options.sources);
    if (_options.agentService) {
        _agent = new AgentManager(*_options.agentService, _options.sessionBus, CORVANE_BUILD_NUMBER, this);
        connect(_agent, &AgentManager::menuStateChanged, this, &THAppDelegate::handleMenuItem);
        connect(_agent, &AgentManager::installAgentAlertRequested, this, &THAppDelegate::installAgentAlert);
        connect(_agent, &AgentManager::updateFailed, this, &THAppDelegate::alertUpdateFailed);
    }
    buildMenus();
    const QByteArray geometry = QByteArray::fromBase64(_defaults.value(QLatin1String(kWindowGeometryKey)).toString().toLatin1());
    if (!geometry.isEmpty())
        _window->restoreGeometry(geometry);
    // awakeFromNib: Linux always has the bridge drivers, so the command only explains.
    installSMARTDriverMenuItem->setEnabled(true);
}

THAppDelegate::~THAppDelegate() = default;

MainWindow *THAppDelegate::window() const { return _window.get(); }
DriveBrowser *THAppDelegate::browser() const { return _browser; }
AgentManager *THAppDelegate::agent() const { return _agent; }
DriveDatabaseUpdater *THAppDelegate::updater() const { return _updater; }
bool THAppDelegate::agentConnected() const { return _agent && _agent->agentConnected(); }

void THAppDelegate::buildMenus()
{
    QMenuBar *bar = _window->menuBar();
    auto add = [this](QMenu *menu, const QString &title, auto slot, QKeySequence key = {}) {
        QAction *action = menu->addAction(title);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("Save as PDF..."), [this] { _browser->saveAsPDF(); }, QKeySequence::SaveAs);
    add(file, QStringLiteral("Print..."), [this] { _browser->printText(); }, QKeySequence::Print);
    file->addSeparator();
    add(file, QStringLiteral("Preferences..."), [this] { _browser->showPreferences(); }, QKeySequence::Preferences);
    file->addSeparator();
    add(file, QStringLiteral("Quit"), [this] { _window->close(); }, QKeySequence::Quit);

    QMenu *drives = bar->addMenu(QStringLiteral("&Drives"));
    add(drives, QStringLiteral("Scan for Drives"), [this] { _browser->scanForSMARTDrives(); });
    add(drives, QStringLiteral("Update Drive Information"), [this] { _browser->updateDriveInfo(); }, QKeySequence::Refresh);
    drives->addSeparator();
    add(drives, QStringLiteral("Start Self-Test"), [this] { _browser->startTest(); });
    add(drives, QStringLiteral("Stop Self-Test"), [this] { _browser->stopTest(); });
    drives->addSeparator();
    updateDBMenuItem = add(drives, QStringLiteral("Update Drive Database"), &THAppDelegate::updateDB);
    installSMARTDriverMenuItem = add(drives, QStringLiteral("Install SAT SMART Driver..."), &THAppDelegate::installSMARTDriver);

    _browser->attachPageMenu(bar->addMenu(QStringLiteral("&View")));

    QMenu *monitoring = bar->addMenu(QStringLiteral("&Monitoring"));
    agentMenuItem = add(monitoring, QStringLiteral("Start Monitoring"), &THAppDelegate::toggleAgent);
    showingAgentMenuItem = add(monitoring, QStringLiteral("Show Corvane Menu"), &THAppDelegate::toggleMenuVisibility);
    monitoring->menuAction()->setVisible(_agent != nullptr);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    add(help, QStringLiteral("Corvane Manual"), &THAppDelegate::showHelp, QKeySequence::HelpContents);
    add(help, QStringLiteral("Corvane Home Page"), &THAppDelegate::goToHomepage);
    add(help, QStringLiteral("Corvane Forum"), &THAppDelegate::goToForum);
    add(help, QStringLiteral("Corvane Knowledge Base"), &THAppDelegate::goToKnowledgebase);
    help->addSeparator();
    add(help, QStringLiteral("About Corvane"), &THAppDelegate::about);
}

void THAppDelegate::applicationDidFinishLaunching()
{
    handleMenuBarVisible();
    connect(&_defaults, &SharedDefaults::valueChanged, this, [this](const QString &key) {
        if (key == QLatin1String(kShowMenuBarExtraKey))
            handleMenuBarVisible();
    });
    if (_options.systemBus.isConnected()) {
        _shutdown = new ShutdownWatcher(_options.systemBus, this);
        connect(_shutdown, &ShutdownWatcher::shuttingDown, this, &THAppDelegate::powerOffCallback);
    }
    connect(THSmartDeviceDatabase::instance(), &THSmartDeviceDatabase::databaseUpdated, this,
            &THAppDelegate::databaseDidUpdate);
    connect(_updater, &DriveDatabaseUpdater::progress, this, [this](int index, int count, const QString &address) {
        updateProgress->setRange(0, count);
        updateProgress->setValue(index);
        updateProgress->show();
        _window->statusBar()->showMessage(
            QStringLiteral("Updating the drive database from %1 (source %2 of %3)...").arg(QUrl(address).host()).arg(index + 1).arg(count));
    });
    connect(_updater, &DriveDatabaseUpdater::finished, this, &THAppDelegate::updateFinished);

    connect(_browser, &DriveBrowser::testInProgressChanged, this, [this](bool running) {
        _testInProgress = running;
        Q_EMIT testInProgressChanged(running);
    });
    connect(_browser, &DriveBrowser::agentReloadRequested, this, [this] {
        if (_agent)
            _agent->reloadAgentDrives();
    });
    connect(_browser, &DriveBrowser::statusMessage, _window->statusBar(),
            [this](const QString &text) { _window->statusBar()->showMessage(text, 10000); });
    connect(_browser, &DriveBrowser::installSMARTDriverRequested, this, &THAppDelegate::installSMARTDriver);
    connect(_browser, &DriveBrowser::quitRequested, this, [this] { _window->close(); });

    QStatusBar *status = _window->statusBar();
    updateProgress = new QProgressBar;
    updateProgress->setMaximumWidth(140);
    updateProgress->setTextVisible(false);
    updateProgress->hide();
    status->addPermanentWidget(updateProgress);
    databaseText = new QLabel;
    status->addPermanentWidget(databaseText);
    machineModelText = new QLabel(readMachineModel());
    machineNameText = new QLabel;
    versionBuildText = new QLabel(app::versionBuildText());
    const QString copyright = copyrightNotice();
    const qsizetype dot = copyright.indexOf(u'.');
    copyrightText = new QLabel(dot < 0 ? copyright : copyright.left(dot + 1), status);
    for (QLabel *label : {machineModelText, machineNameText, versionBuildText})
        status->addPermanentWidget(label);
    copyrightText->hide(); // in the About box; kept for the start-up order's texts
    QTimer::singleShot(0, this, [this] { machineNameText->setText(QHostInfo::localHostName()); });

    if (_options.updateDatabase)
        requestDatabaseUpdate();
    // Vendor names for the NVMe pages: pci.ids is indexed off the GUI thread
    // (a name is read out when a page asks), and the pages on screen are
    // drawn again once the names are known.
    QThreadPool::globalInstance()->start([browser = QPointer<DriveBrowser>(_browser)] {
        std::shared_ptr<const VendorIndex> vendors = thVendorDB::vendorIndex();
        if (!vendors)
            return;
        display::setVendorIndex(std::move(vendors));
        QMetaObject::invokeMethod(QCoreApplication::instance(), [browser] {
            if (browser)
                browser->redisplay();
        });
    });
    _browser->scanForSMARTDrives();
    _testInProgress = false;
    if (_agent)
        QTimer::singleShot(0, this, [this] { _agent->setupAppService(); });
    handleMenuItem();
}

QString THAppDelegate::readMachineModel(const QString &dmiFile)
{
    QFile f(dmiFile);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.read(256)).trimmed();
}

QVariantMap THAppDelegate::statusSATSMARTDriver() const
{
    return app::statusSATSMARTDriver();
}

void THAppDelegate::requestDatabaseUpdate()
{
    _driveDatabase.clear();
    _updateFromMenu = false;
    _updater->start();
}

void THAppDelegate::updateDB()
{
    _updateFromMenu = true;
    if (!_updater->start())
        _window->statusBar()->showMessage(QStringLiteral("A drive database update is already running."), 10000);
}

void THAppDelegate::updateFinished(const DriveDatabaseUpdater::Result &result)
{
    if (result.outcome == DriveDatabaseUpdater::Outcome::Busy)
        return;
    updateProgress->hide();
    if (result.outcome == DriveDatabaseUpdater::Outcome::Updated)
        _rebuildPending = true; // the parse's databaseUpdated follows
    databaseText->setText(result.message());
    // Why each source failed, for whoever hovers over the message.
    databaseText->setToolTip(result.failures.join(u'\n'));
    Q_EMIT databaseUpdateFinished(result.message());
    if (_updateFromMenu) {
        auto *box = new QMessageBox(result.outcome == DriveDatabaseUpdater::Outcome::Failed ? QMessageBox::Warning
                                                                                             : QMessageBox::Information,
                                    QStringLiteral("Drive Database"), result.message(), QMessageBox::Ok, _window.get());
        box->setAttribute(Qt::WA_DeleteOnClose);
        if (!result.failures.isEmpty())
            box->setDetailedText(result.failures.join(u'\n'));
        box->setWindowModality(Qt::WindowModal);
        box->open();
    }
}

void THAppDelegate::databaseDidUpdate()
{
    // Also posted by the first lazy parse of the database, which the first
    // scan already used: only a newly installed file calls for a rebuild.
    if (!_rebuildPending)
        return;
    _rebuildPending = false;
    _driveDatabase = THSmartDeviceDatabase::driveDatabase();
    _browser->scanForSMARTDrives();
}

void THAppDelegate::handleMenuItem()
{
    const bool connected = _agent && _agent->hasConnection();
    agentMenuItem->setText(connected ? QStringLiteral("Stop Monitoring") : QStringLiteral("Start Monitoring"));
    showingAgentMenuItem->setVisible(connected);
}

void THAppDelegate::handleMenuBarVisible()
{
    _showMenuItem = _defaults.boolValue(QLatin1String(kShowMenuBarExtraKey));
    showingAgentMenuItem->setText(_showMenuItem ? QStringLiteral("Hide Corvane Menu") : QStringLiteral("Show Corvane Menu"));
}

void THAppDelegate::toggleMenuVisibility()
{
    _showMenuItem = !_showMenuItem;
    _defaults.setValue(QLatin1String(kShowMenuBarExtraKey), _showMenuItem);
    handleMenuBarVisible();
}

void THAppDelegate::toggleAgent()
{
    if (_agent)
        _agent->toggleAgent();
}

void THAppDelegate::installAgentAlert()
{
    if (_defaults.boolValue(QLatin1String(kSuppressMonitorQuestionKey)))
        return;
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Monitor Drives?"), QStringLiteral("Monitor Drives?"),
                                QMessageBox::Ok | QMessageBox::Cancel, _window.get());
    box->setInformativeText(QStringLiteral("Activate menu item and start monitoring SMART status. Monitoring is handled "
                                           "by a background process regardless of whether the application is open."));
    box->setCheckBox(new QCheckBox(QStringLiteral("Do not ask again")));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setObjectName(QStringLiteral("monitorDrivesAlert"));
    connect(box, &QMessageBox::finished, this, [this, box](int) {
        if (box->checkBox()->isChecked())
            _defaults.setValue(QLatin1String(kSuppressMonitorQuestionKey), true);
        if (box->clickedButton() == box->button(QMessageBox::Ok) && _agent)
            _agent->startAndConnectAgent();
    });
    box->open();
}

void THAppDelegate::alertUpdateFailed()
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Update Failed"), QStringLiteral("Update Failed"),
                                QMessageBox::Ok, _window.get());
    box->setInformativeText(QStringLiteral("Agent failed to update, please contact support."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->setObjectName(QStringLiteral("updateFailedAlert"));
    box->open();
}

void THAppDelegate::installSMARTDriver()
{
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("USB Drives"),
                                QStringLiteral("No driver to install"), QMessageBox::Ok, _window.get());
    const QVariantMap status = statusSATSMARTDriver();
    box->setInformativeText(satDriverExplanation());
    box->setDetailedText(QStringLiteral("USB storage drivers available: %1\nloaded: %2\nA drive behind a USB bridge: %3")
                             .arg(status.value(QStringLiteral("installed")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"),
                                  status.value(QStringLiteral("loaded")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"),
                                  status.value(QStringLiteral("attached")).toBool() ? QStringLiteral("yes") : QStringLiteral("no")));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void THAppDelegate::about()
{
    createAboutDialog(_window.get())->open();
}

QString THAppDelegate::manualPath()
{
    for (const QString &dir : dataDirs()) {
        const QString path = dir + QStringLiteral("/Corvane Manual.pdf");
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

void THAppDelegate::showHelp()
{
    const QString path = manualPath();
    if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        _window->statusBar()->showMessage(QStringLiteral("The manual could not be opened."), 10000);
}

void THAppDelegate::goToHomepage() { QDesktopServices::openUrl(QUrl(kHomepage)); }
void THAppDelegate::goToForum() { QDesktopServices::openUrl(QUrl(kForum)); }
void THAppDelegate::goToKnowledgebase() { QDesktopServices::openUrl(QUrl(kKnowledgebase)); }

bool THAppDelegate::applicationShouldTerminate()
{
    if (!_testInProgress) {
        quit();
        return true;
    }
    if (_quitSheet)
        return false;
    _quitSheet = new QMessageBox(QMessageBox::Warning, QStringLiteral("Self-Test in Progress"),
                                 QStringLiteral("Self-Test in Progress"), QMessageBox::NoButton, _window.get());
    _quitSheet->setInformativeText(QStringLiteral("Are you sure you want to quit?"));
    QPushButton *dontQuit = _quitSheet->addButton(QStringLiteral("Don't Quit"), QMessageBox::RejectRole);
    _quitSheet->addButton(QStringLiteral("Quit"), QMessageBox::AcceptRole);
    _quitSheet->setDefaultButton(dontQuit);
    _quitSheet->setAttribute(Qt::WA_DeleteOnClose);
    _quitSheet->setWindowModality(Qt::WindowModal);
    QMessageBox *sheet = _quitSheet;
    connect(sheet, &QMessageBox::finished, this, [this, sheet, dontQuit](int) {
        if (sheet->clickedButton() == static_cast<QAbstractButton *>(dontQuit))
            return;
        // "Quit", or the sheet ended by a power-off.
        _browser->stopTest();
        quit();
        _window->closeNow();
    });
    _quitSheet->open();
    return false;
}

void THAppDelegate::quit()
{
    // The agent keeps running; it owes nothing to the window.
    _defaults.setValue(QLatin1String(kWindowGeometryKey), QString::fromLatin1(_window->saveGeometry().toBase64()));
    Q_EMIT quitApproved();
}

void THAppDelegate::powerOffCallback()
{
    qCInfo(lcAppShell, "the system is shutting down");
    if (_quitSheet) {
        _quitSheet->done(QMessageBox::Abort);
        return;
    }
    // Any other sheet ends without an answer.
    const auto sheets = _window->findChildren<QMessageBox *>(QString(), Qt::FindDirectChildrenOnly);
    for (QMessageBox *box : sheets)
        if (box->isVisible())
            box->done(QMessageBox::Abort);
}

void THAppDelegate::activate(const QStringList &arguments)
{
    for (const QString &argument : arguments)
        if (argument.startsWith(QLatin1String("widget-deeplink://")))
            qCInfo(lcAppShell, "opened from the widget: %s", qPrintable(argument));
    _window->show();
    _window->setWindowState((_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    _window->raise();
    _window->activateWindow();
}

} // namespace corvane::app
