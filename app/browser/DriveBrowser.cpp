// SPDX-License-Identifier: GPL-3.0-or-later
// Placeholder until the drive browser lands: lists the drives' kernel names so
// the window shell can be built and tested on its own.
#include "browser/DriveBrowser.h"

#include "drive/DriveEnumerator.h"

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

namespace corvane::app {

struct DriveBrowser::Private
{
    std::shared_ptr<const DrivePlatform> platform;
    QListWidget *list = nullptr;
};

DriveBrowser::DriveBrowser(std::shared_ptr<const DrivePlatform> platform, QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<Private>())
{
    d->platform = std::move(platform);
    auto *layout = new QVBoxLayout(this);
    d->list = new QListWidget;
    layout->addWidget(d->list);
}

DriveBrowser::~DriveBrowser() = default;

void DriveBrowser::scanForSMARTDrives()
{
    d->list->clear();
    if (d->platform && d->platform->registry) {
        DriveEnumerator enumerator(*d->platform->registry);
        enumerator.driveInformation();
        for (const QString &name : enumerator.sortedBSDNames())
            d->list->addItem(name);
    }
    Q_EMIT drivesChanged(d->list->count());
    Q_EMIT agentReloadRequested();
}

void DriveBrowser::updateDriveInfo() {}
void DriveBrowser::selectInformationTab(int) {}
void DriveBrowser::attachPageMenu(QMenu *) {}
void DriveBrowser::startTest() {}
void DriveBrowser::stopTest() {}
bool DriveBrowser::testInProgress() const { return false; }
void DriveBrowser::saveAsPDF() {}
void DriveBrowser::printText() {}
void DriveBrowser::showPreferences() {}
QString DriveBrowser::selectedDrive() const { return d->list->currentItem() ? d->list->currentItem()->text() : QString(); }
int DriveBrowser::driveCount() const { return d->list->count(); }

} // namespace corvane::app
