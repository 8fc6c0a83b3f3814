// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's content: the drive list on the left, the detail pages on
// the right, with the self-test controls, the preferences sheet and the report.
// THAppDelegate owns one and forwards its menu actions to it.
#include "drive/DriveReader.h"

#include <QString>
#include <QWidget>
#include <memory>

class QMenu;

namespace corvane {
class DiskEvents;
}

namespace corvane::app {

class DriveBrowser : public QWidget
{
    Q_OBJECT
public:
    explicit DriveBrowser(std::shared_ptr<const DrivePlatform> platform, QWidget *parent = nullptr);
    ~DriveBrowser() override;

    // "scanForSMARTDrives:": rebuild the whole list (busy sheet, drives read off
    // the GUI thread, the list replaced on the GUI thread).
    void scanForSMARTDrives();
    // "updateDriveInfo:": re-read the selected drive.
    void updateDriveInfo();
    // Shows the selected drive's pages again, as they are (a formatter's data changed).
    void redisplay();
    // "selectInformationTab:": the tab of the current page set with this tag.
    void selectInformationTab(int tag);
    // Fills `menu` with the tab-selecting items of the selected drive's page set
    // (ATA "sata" or NVMe "nvme") and keeps it current as the selection moves.
    void attachPageMenu(QMenu *menu);

    // "startTest:" / "stopTest:" for the selected drive.
    void startTest();
    void stopTest();
    bool testInProgress() const;

    // "saveAsPDF:" asks for a file and writes the selected drive's report;
    // "printText:" prints the same report.
    void saveAsPDF();
    void printText();
    // "preferences_menu:" opens the preferences sheet.
    void showPreferences();

    // Where whole-disk arrivals and removals come from; by default udev on
    // this machine and nothing for a recorded set. Bursts make one rebuild.
    void setDiskEvents(std::unique_ptr<DiskEvents> events);

    // Selects a drive by kernel name, a page of its set by title (case aside);
    // false when there is none (the screenshot option).
    bool selectDrive(const QString &bsdName);
    bool selectPage(const QString &title);

    // Kernel name of the selected drive, empty when none.
    QString selectedDrive() const;
    int driveCount() const;

Q_SIGNALS:
    void testInProgressChanged(bool running);
    // After every rebuild of the list.
    void drivesChanged(int count);
    // The agent should re-read the drives (disk events, preferences closed).
    void agentReloadRequested();
    // A short message for the status bar.
    void statusMessage(const QString &text);
    // The "no drives" alert's buttons that leave the browser's area.
    void installSMARTDriverRequested();
    void quitRequested();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace corvane::app
