// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/DriveBrowser.h"

#include "browser/DriveListModel.h"
#include "database/THSmartDeviceDatabase.h"
#include "drive/DriveEnumerator.h"
#include "drive/KernelNameOrder.h"
#include "pages/AtaPages.h"
#include "pages/HistoryPage.h"
#include "pages/PageSets.h"
#include "platform/DeviceStatus.h"
#include "platform/DiskEvents.h"
#include "platform/SharedDefaults.h"
#include "preferences/PreferencesSheet.h"
#include "report/ReportWriter.h"
#include "selftest/SelfTestPanel.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QCoreApplication>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcBrowser, "corvane.browser")

namespace corvane::app {

namespace {

// Disk events closer together than this make one rebuild (a hub with four disks).
constexpr int kCoalesceMs = 60;

// Reads one drive completely, and the summary of its history, off the GUI
// thread; the device is handed to `home`.
DriveEntry readEntry(const QVariantMap &setting, const DrivePlatform &platform,
                     const std::optional<QVariantMap> &ignore, HistoryReader &history, QThread *home,
                     const WakePolicy &mayWake = {})
{
    DriveEntry entry;
    entry.settings = setting;
    std::unique_ptr<THSMARTDevice> device = THSMARTDevice::deviceWithSetting(setting);
    if (!device)
        return entry;
    if (!device->driveProperties().value(QStringLiteral("isNVMe")).toBool()) {
        if (ignore)
            device->driveProperties().insert(QStringLiteral("ignoreAttributes"), *ignore);
        else
            device->driveProperties().remove(QStringLiteral("ignoreAttributes"));
    }
    entry.readStatus = readDrive(*device, platform, mayWake);
    const QVariantMap &p = device->driveProperties();
    if (!p.value(QStringLiteral("isNVMe")).toBool()) {
        const QVariantMap db = THSmartDeviceDatabase::lookupDriveModel(p.value(QStringLiteral("Device Model")).toString(),
                                                                       p.value(QStringLiteral("Firmware Version")).toString());
        entry.databaseWarning = db.value(QStringLiteral("warning")).toString().trimmed();
        entry.firmwareBug = db.value(QStringLiteral("firmwarebugDescription")).toString().trimmed();
        entry.modelFamily = db.value(QStringLiteral("modelfamily")).toString().trimmed();
    }
    device->moveToThread(home);
    // A result still queued when the application ends is destroyed while Qt holds
    // the posted-event lock: posting a deferred delete then would never return.
    entry.device = std::shared_ptr<THSMARTDevice>(device.release(), [](THSMARTDevice *d) {
        if (QCoreApplication::closingDown())
            delete d;
        else
            d->deleteLater();
    });
    history.readSummary(entry);
    return entry;
}

} // namespace

struct DriveBrowser::Private
{
    enum class Reason { Scan, DiskEvent };

    DriveBrowser *q;
    std::shared_ptr<const DrivePlatform> platform;
    SharedDefaults *defaults = nullptr;
    DriveListModel *model = nullptr;
    QTreeView *tree = nullptr;
    QStackedWidget *stack = nullptr;
    QTabWidget *sata = nullptr;
    QTabWidget *nvme = nullptr;
    QList<DrivePage *> ataPages;
    QList<DrivePage *> nvmePages;
    HistoryPage *ataHistory = nullptr;
    HistoryPage *nvmeHistory = nullptr;
    // The devices whose history series is being read.
    QSet<QString> readingHistory; // kernel names
    SelfTestPanel *selfTest = nullptr;
    QPointer<QMenu> pageMenu;
    QDialog *busy = nullptr;
    QLabel *busyText = nullptr;
    std::unique_ptr<DiskEvents> events;
    QTimer coalesce;
    QElapsedTimer firstEvent;
    bool working = false;
    bool scanPending = false;
    bool eventPending = false;
    DriveEntry empty;
    QString shownDrive;
    // Rebuilds don't wake a rotating drive asleep unless this says it is due;
    // "Update Drive Information" always reads.
    WakeSchedule wake;
    QString historyPath = historyDatabasePath();

    explicit Private(DriveBrowser *browser) : q(browser) {}

    QThread *home() const { return q->thread(); }
    int selectedRow() const
    {
        const QModelIndexList rows = tree->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : DriveListModel::driveRow(rows.first());
    }
    const DriveEntry *selectedEntry() const
    {
        const int row = selectedRow();
        return row >= 0 ? &model->drives()[row] : nullptr;
    }
    QTabWidget *currentSet() const { return static_cast<QTabWidget *>(stack->currentWidget()); }
    const QList<DrivePage *> &currentPages() const { return currentSet() == nvme ? nvmePages : ataPages; }

    std::optional<QVariantMap> ignoreDictionary() const
    {
        return defaults->dictionaryValue(QLatin1String(kIgnoreAttributesKey));
    }

    void showBusy(const QString &text)
    {
        busyText->setText(text);
        busy->open();
    }
    void hideBusy() { busy->hide(); }

    void rebuild(Reason reason);
    void finishRebuild(Reason reason, QList<DriveEntry> drives);
    void refreshSelected();
    void showSelected();
    void fillPageMenu();
    void readHistoryIfShown();
    void noDrivesAlert();
    void build();
};

void DriveBrowser::Private::build()
{
    model = new DriveListModel(q);
    tree = new QTreeView(q);
    tree->setObjectName(QStringLiteral("driveList"));
    tree->setAccessibleName(QStringLiteral("Drives"));
    tree->setModel(model);
    tree->setHeaderHidden(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setIconSize(QSize(20, 20));
    tree->setUniformRowHeights(true);
    tree->setMinimumWidth(150);

    selfTest = new SelfTestPanel;
    selfTest->setObjectName(QStringLiteral("selfTestPanel"));
    ataPages = makeAtaPages(selfTest);
    nvmePages = makeNvmePages(selfTest);
    // The window's sets end with the drive's history; the report has none.
    ataHistory = new HistoryPage(int(ataPages.size()) + 1);
    nvmeHistory = new HistoryPage(int(nvmePages.size()) + 1);
    ataPages << ataHistory;
    nvmePages << nvmeHistory;
    sata = new QTabWidget;
    sata->setObjectName(QStringLiteral("sata"));
    nvme = new QTabWidget;
    nvme->setObjectName(QStringLiteral("nvme"));
    for (DrivePage *page : std::as_const(ataPages))
        sata->addTab(page, page->title());
    for (DrivePage *page : std::as_const(nvmePages))
        nvme->addTab(page, page->title());
    stack = new QStackedWidget;
    stack->addWidget(sata);
    stack->addWidget(nvme);

    auto *splitter = new QSplitter(q);
    splitter->setObjectName(QStringLiteral("browserSplitter"));
    splitter->addWidget(tree);
    splitter->addWidget(stack);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({180, 820});
    auto *layout = new QHBoxLayout(q);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    QWidget::setTabOrder(tree, stack);

    // The splitter and each page set's tab as the user left them.
    QSettings settings;
    settings.beginGroup(QStringLiteral("browser"));
    splitter->restoreState(settings.value(QStringLiteral("splitter")).toByteArray());
    sata->setCurrentIndex(settings.value(QStringLiteral("sataTab"), 0).toInt());
    nvme->setCurrentIndex(settings.value(QStringLiteral("nvmeTab"), 0).toInt());
    QObject::connect(splitter, &QSplitter::splitterMoved, q, [splitter] {
        QSettings().setValue(QStringLiteral("browser/splitter"), splitter->saveState());
    });
    QObject::connect(sata, &QTabWidget::currentChanged, q, [this](int i) {
        QSettings().setValue(QStringLiteral("browser/sataTab"), i);
        readHistoryIfShown();
    });
    QObject::connect(nvme, &QTabWidget::currentChanged, q, [this](int i) {
        QSettings().setValue(QStringLiteral("browser/nvmeTab"), i);
        readHistoryIfShown();
    });

    busy = new QDialog(q);
    busy->setObjectName(QStringLiteral("busySheet"));
    busy->setWindowModality(Qt::WindowModal);
    busy->setWindowTitle(QStringLiteral("Corvane"));
    auto *busyLayout = new QVBoxLayout(busy);
    busyText = new QLabel(busy);
    auto *bar = new QProgressBar(busy);
    bar->setRange(0, 0);
    bar->setAccessibleName(QStringLiteral("Working"));
    busyLayout->addWidget(busyText);
    busyLayout->addWidget(bar);

    coalesce.setSingleShot(true);
    coalesce.setInterval(kCoalesceMs);
    QObject::connect(&coalesce, &QTimer::timeout, q, [this] { rebuild(Reason::DiskEvent); });
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, q,
                     [this] {
                         // A click on a volume row clears the selection in Qt; the drive stays.
                         const int last = model->rowOf(shownDrive);
                         if (selectedRow() < 0 && last >= 0) {
                             tree->selectionModel()->select(model->index(last, 0),
                                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
                             return;
                         }
                         showSelected();
                     });
    QObject::connect(selfTest, &SelfTestPanel::testInProgressChanged, q, &DriveBrowser::testInProgressChanged);
    QObject::connect(selfTest, &SelfTestPanel::testEnded, q, [this](const QString &name) {
        // The log changed: show it on the drive's pages.
        const DriveEntry *e = selectedEntry();
        if (e && e->bsdName() == name)
            showSelected();
    });

    empty.device = std::make_shared<THSMARTDevice>(QVariantMap{});
}

void DriveBrowser::Private::rebuild(Reason reason)
{
    if (working) {
        (reason == Reason::Scan ? scanPending : eventPending) = true;
        return;
    }
    working = true;
    if (reason == Reason::Scan)
        showBusy(QStringLiteral("Scanning for SMART Drives..."));
    else
        Q_EMIT q->statusMessage(QStringLiteral("A disk arrived or went away; reading the drives…"));

    // The drive under test keeps its session: it is not read again.
    QString kept;
    if (selfTest->testInProgress() && selfTest->deviceUnderTest())
        kept = selfTest->deviceUnderTest()->driveProperties().value(QStringLiteral("bsdName")).toString();
    const std::optional<QVariantMap> ignore = ignoreDictionary();
    wake.setWakeHours(defaults->value(QLatin1String(kWakeSleepingDrivesKey)).toInt());
    QPointer<DriveBrowser> browser(q);
    QThread *target = home();
    QThreadPool::globalInstance()->start([browser, platform = platform, ignore, kept, target, reason,
                                          historyPath = historyPath, mayWake = wake.policy()] {
        QList<DriveEntry> drives;
        // One connection to the history for the whole scan.
        HistoryReader history(historyPath);
        if (platform->registry) {
            DriveEnumerator enumerator(*platform->registry);
            const DriveInformation info = enumerator.driveInformation();
            for (const QString &name : sortedKernelNames(info.keys())) {
                if (name == kept) {
                    DriveEntry placeholder;
                    placeholder.settings = info.value(name);
                    drives << placeholder;
                    continue;
                }
                DriveEntry entry = readEntry(info.value(name), *platform, ignore, history, target, mayWake);
                if (entry.device)
                    drives << entry;
            }
        }
        // Posted to the application, not the browser: a pointer to a browser
        // being destroyed on the GUI thread must not be read here; the
        // lambda checks it there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [browser, reason, drives = std::move(drives)]() mutable {
                if (browser)
                    browser->d->finishRebuild(reason, std::move(drives));
            },
            Qt::QueuedConnection);
    });
}

void DriveBrowser::Private::finishRebuild(Reason reason, QList<DriveEntry> drives)
{
    // Put the drive under test back in its place.
    for (DriveEntry &e : drives) {
        if (e.device)
            continue;
        const int old = model->rowOf(e.settings.value(QStringLiteral("bsdName")).toString());
        if (old >= 0)
            e = model->drives()[old];
    }
    drives.removeIf([](const DriveEntry &e) { return !e.device; });
    // A drive asleep keeps what it showed before, now marked asleep.
    int asleep = 0;
    for (DriveEntry &e : drives) {
        if (!e.properties().value(QLatin1String(kAsleepKey)).toBool()) {
            wake.noteRead(e.bsdName());
            continue;
        }
        ++asleep;
        const int old = model->rowOf(e.bsdName());
        if (old >= 0 && model->drives()[old].device != e.device) {
            e = model->drives()[old];
            e.device->driveProperties().insert(QLatin1String(kAsleepKey), true);
        }
    }

    const int oldRow = selectedRow();
    const QString oldName = oldRow >= 0 ? model->drives()[oldRow].bsdName() : QString();
    model->setDrives(std::move(drives));
    tree->expandAll();

    // The same drive when it is still there; else the same position.
    const int count = int(model->drives().size());
    int row = model->rowOf(oldName);
    if (row < 0)
        row = oldRow < 0 ? 0 : std::min(oldRow, count - 1);
    if (count > 0) {
        const QModelIndex index = model->index(row, 0);
        tree->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        tree->setCurrentIndex(index);
    }
    showSelected();

    working = false;
    if (reason == Reason::Scan)
        hideBusy();
    if (firstEvent.isValid() && reason == Reason::DiskEvent) {
        qCInfo(lcBrowser, "disk event to updated list: %lld ms", firstEvent.elapsed());
        firstEvent.invalidate();
    }
    Q_EMIT q->drivesChanged(count);
    const QString drivesText = count == 1 ? QStringLiteral("1 drive") : QStringLiteral("%1 drives").arg(count);
    Q_EMIT q->statusMessage(asleep == 0 ? drivesText
                                        : QStringLiteral("%1, %2 asleep and not read (Update Drive Information reads one)")
                                              .arg(drivesText)
                                              .arg(asleep));
    // Rescans and disk events both change what the agent should watch.
    Q_EMIT q->agentReloadRequested();

    if (scanPending) {
        scanPending = eventPending = false;
        rebuild(Reason::Scan);
    } else if (eventPending) {
        eventPending = false;
        rebuild(Reason::DiskEvent);
    } else if (reason == Reason::Scan && count == 0) {
        noDrivesAlert();
    }
}

void DriveBrowser::Private::noDrivesAlert()
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Corvane"),
                                QStringLiteral("No SMART supported drives were encountered"), QMessageBox::NoButton, q);
    box->setObjectName(QStringLiteral("noDrivesAlert"));
    box->setInformativeText(QStringLiteral("Drives associated with a hardware RAID are not supported."));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *quit = box->addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
    QPushButton *rescan = box->addButton(QStringLiteral("Rescan Drives"), QMessageBox::AcceptRole);
    QPushButton *install = box->addButton(QStringLiteral("Install SAT SMART Driver..."), QMessageBox::ActionRole);
    box->setDefaultButton(rescan);
    QObject::connect(box, &QMessageBox::finished, q, [this, box, quit, rescan, install] {
        QAbstractButton *clicked = box->clickedButton();
        if (clicked == rescan)
            rebuild(Reason::Scan);
        else if (clicked == install)
            Q_EMIT q->installSMARTDriverRequested();
        else if (clicked == quit || !clicked)
            Q_EMIT q->quitRequested();
    });
    box->open();
}

void DriveBrowser::Private::showSelected()
{
    const DriveEntry *entry = selectedEntry();
    // A volume row or nothing: the pages stay with the last drive.
    if (!entry) {
        if (model->drives().isEmpty()) {
            for (DrivePage *page : std::as_const(ataPages))
                page->setDrive(empty);
            selfTest->clearDrive();
        }
        return;
    }
    shownDrive = entry->bsdName();
    QTabWidget *set = entry->isNVMe() ? nvme : sata;
    const bool changed = stack->currentWidget() != set;
    stack->setCurrentWidget(set);
    for (DrivePage *page : entry->isNVMe() ? nvmePages : ataPages)
        page->setDrive(*entry);
    if (changed)
        fillPageMenu();
    readHistoryIfShown();
}

void DriveBrowser::Private::readHistoryIfShown()
{
    const DriveEntry *entry = selectedEntry();
    if (!entry || currentSet()->currentWidget() != (currentSet() == nvme ? nvmeHistory : ataHistory)
        || !entry->hasHistory || entry->historyRead || readingHistory.contains(entry->bsdName()))
        return;
    readingHistory.insert(entry->bsdName());
    // The series goes to the entry of this very device: a rescan or another
    // selection meanwhile must not give one drive another's history.
    QPointer<DriveBrowser> browser(q);
    std::weak_ptr<THSMARTDevice> device = entry->device;
    QThreadPool::globalInstance()->start([browser, device, name = entry->bsdName(),
                                          identity = driveIdentity(entry->properties()), historyPath = historyPath] {
        QString error;
        QList<HistorySample> series = HistoryReader(historyPath).series(identity, &error);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [browser, device, name, error, series = std::move(series)]() mutable {
                if (!browser)
                    return;
                Private *d = browser->d.get();
                d->readingHistory.remove(name);
                const int row = d->model->rowOf(name);
                // A rescan meanwhile put a new device under this name: it
                // reads its own series, started below.
                if (row >= 0 && d->model->drives()[row].device == device.lock()) {
                    DriveEntry entry = d->model->drives()[row];
                    entry.history = std::move(series);
                    entry.historyError = error;
                    entry.historyRead = true;
                    d->model->replaceDrive(row, std::move(entry));
                    if (d->selectedRow() == row)
                        (d->model->drives()[row].isNVMe() ? d->nvmeHistory : d->ataHistory)->setDrive(d->model->drives()[row]);
                }
                d->readHistoryIfShown();
            },
            Qt::QueuedConnection);
    });
}

void DriveBrowser::Private::fillPageMenu()
{
    if (!pageMenu)
        return;
    pageMenu->clear();
    for (DrivePage *page : currentPages()) {
        QAction *action = pageMenu->addAction(page->title());
        action->setData(page->tag());
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + page->tag())));
        const int tag = page->tag();
        QObject::connect(action, &QAction::triggered, q, [this, tag] { q->selectInformationTab(tag); });
    }
}

void DriveBrowser::Private::refreshSelected()
{
    const int row = selectedRow();
    if (row < 0 || working)
        return;
    const DriveEntry entry = model->drives()[row];
    if (selfTest->testInProgress() && selfTest->deviceUnderTest() == entry.device) {
        Q_EMIT q->statusMessage(QStringLiteral("%1 is running a self-test; its information is read again when the test ends.")
                                    .arg(entry.bsdName()));
        return;
    }
    working = true;
    showBusy(QStringLiteral("Updating information for %1...").arg(entry.bsdName()));
    const std::optional<QVariantMap> ignore =
        entry.properties().contains(QStringLiteral("ignoreAttributes"))
            ? std::optional<QVariantMap>(entry.properties().value(QStringLiteral("ignoreAttributes")).toMap())
            : std::nullopt;
    QPointer<DriveBrowser> browser(q);
    QThread *target = home();
    const QString name = entry.bsdName();
    QThreadPool::globalInstance()->start([browser, platform = platform, setting = entry.settings, ignore, target, name,
                                          historyPath = historyPath] {
        HistoryReader history(historyPath);
        DriveEntry fresh = readEntry(setting, *platform, ignore, history, target);
        // Posted to the application, not the browser: a pointer to a browser
        // being destroyed on the GUI thread must not be read here; the
        // lambda checks it there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [browser, name, fresh = std::move(fresh)]() mutable {
                if (!browser)
                    return;
                Private *d = browser->d.get();
                d->working = false;
                d->hideBusy();
                const int row = d->model->rowOf(name);
                if (row >= 0 && fresh.device) {
                    d->wake.noteRead(name);
                    d->model->replaceDrive(row, std::move(fresh));
                    d->tree->expand(d->model->index(row, 0));
                    d->showSelected();
                }
                if (d->scanPending || d->eventPending) {
                    const bool scan = d->scanPending;
                    d->scanPending = d->eventPending = false;
                    d->rebuild(scan ? Reason::Scan : Reason::DiskEvent);
                }
            },
            Qt::QueuedConnection);
    });
}

DriveBrowser::DriveBrowser(std::shared_ptr<const DrivePlatform> platform, QWidget *parent)
    : QWidget(parent), d(std::make_unique<Private>(this))
{
    d->platform = std::move(platform);
    d->defaults = &SharedDefaults::shared();
    d->defaults->registerDefaults(defaultSharedRegistrations());
    d->build();
    if (d->platform->recordedSet.isEmpty()) {
        QString error;
        std::unique_ptr<DiskEvents> events = systemDiskEvents(&error);
        if (events)
            setDiskEvents(std::move(events));
        else
            qCWarning(lcBrowser, "%s; the drive list follows only rescans", qUtf8Printable(error));
    }
}

DriveBrowser::~DriveBrowser() = default;

void DriveBrowser::setDiskEvents(std::unique_ptr<DiskEvents> events)
{
    d->events = std::move(events);
    if (!d->events)
        return;
    connect(d->events.get(), &DiskEvents::diskChanged, this, [this](bool arrived, const QString &name) {
        qCInfo(lcBrowser, "disk %s: %s", arrived ? "arrived" : "removed", qUtf8Printable(name));
        if (!d->firstEvent.isValid())
            d->firstEvent.start();
        d->coalesce.start();
    });
}

void DriveBrowser::scanForSMARTDrives()
{
    d->rebuild(Private::Reason::Scan);
}

void DriveBrowser::updateDriveInfo()
{
    d->refreshSelected();
}

void DriveBrowser::redisplay()
{
    d->showSelected();
}

void DriveBrowser::selectInformationTab(int tag)
{
    for (DrivePage *page : d->currentPages())
        if (page->tag() == tag)
            d->currentSet()->setCurrentWidget(page);
}

bool DriveBrowser::selectDrive(const QString &bsdName)
{
    const int row = d->model->rowOf(bsdName);
    if (row < 0)
        return false;
    d->tree->setCurrentIndex(d->model->index(row, 0));
    return true;
}

bool DriveBrowser::selectPage(const QString &title)
{
    for (DrivePage *page : d->currentPages())
        if (page->title().compare(title, Qt::CaseInsensitive) == 0) {
            d->currentSet()->setCurrentWidget(page);
            return true;
        }
    return false;
}

void DriveBrowser::attachPageMenu(QMenu *menu)
{
    d->pageMenu = menu;
    d->fillPageMenu();
}

void DriveBrowser::startTest()
{
    d->selfTest->startTest();
}

void DriveBrowser::stopTest()
{
    d->selfTest->stopTest();
}

bool DriveBrowser::testInProgress() const
{
    return d->selfTest->testInProgress();
}

void DriveBrowser::saveAsPDF()
{
    const DriveEntry *entry = d->selectedEntry();
    if (!entry)
        return;
    auto *dialog = new QFileDialog(window(), QStringLiteral("Save Report as PDF"), QString(),
                                   QStringLiteral("PDF documents (*.pdf)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    dialog->selectFile(suggestedReportName(entry->bsdName()));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The drive as it was when the command was given.
    const DriveEntry chosen = *entry;
    connect(dialog, &QFileDialog::fileSelected, this, [this, chosen](const QString &path) {
        QString error;
        if (writeReportPdf(chosen, path, palette(), &error)) {
            Q_EMIT statusMessage(QStringLiteral("Report saved to %1").arg(path));
            return;
        }
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Corvane"),
                                    QStringLiteral("The report could not be saved."), QMessageBox::Ok, window());
        box->setInformativeText(QStringLiteral("%1: %2. A file already there is left as it was.").arg(path, error));
        box->setWindowModality(Qt::WindowModal);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        Q_EMIT statusMessage(QStringLiteral("The report could not be saved to %1: %2").arg(path, error));
    });
    dialog->open();
}

void DriveBrowser::printText()
{
    const DriveEntry *entry = d->selectedEntry();
    if (!entry)
        return;
    const DriveEntry chosen = *entry;
    auto *printer = new QPrinter(QPrinter::ScreenResolution);
    auto *dialog = new QPrintDialog(printer, window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog, printer, chosen](int result) {
        std::unique_ptr<QPrinter> owned(printer);
        if (result != QDialog::Accepted)
            return;
        QString error;
        if (paintReport(chosen, *printer, palette(), &error) == 0)
            Q_EMIT statusMessage(QStringLiteral("The report could not be printed: %1").arg(error));
        Q_UNUSED(dialog);
    });
    dialog->open();
}

void DriveBrowser::showPreferences()
{
    auto *sheet = new PreferencesSheet(*d->defaults, window());
    sheet->setObjectName(QStringLiteral("preferencesSheet"));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    // Closing always rescans, so new settings take effect at once (here and,
    // through the reload request, in the agent).
    connect(sheet, &QDialog::finished, this, [this] { d->rebuild(Private::Reason::Scan); });
    sheet->open();
}

QString DriveBrowser::selectedDrive() const
{
    const DriveEntry *entry = d->selectedEntry();
    return entry ? entry->bsdName() : QString();
}

int DriveBrowser::driveCount() const
{
    return int(d->model->drives().size());
}

} // namespace corvane::app
