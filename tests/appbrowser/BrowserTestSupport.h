// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "browser/DriveBrowser.h"
#include "browser/DriveEntry.h"
#include "drive/DriveEnumerator.h"
#include "drive/DriveReader.h"
#include "platform/DiskEvents.h"
#include "platform/recorded/RecordedAtaSmart.h"

#include "support/EventLoop.h"

#include <QMutex>
#include <QSet>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTreeView>
#include <gtest/gtest.h>

namespace corvane::app::test {

using corvane::test::waitUntil;

// Hides whole disks by kernel name, as if they were unplugged.
class HidingRegistry : public Registry
{
public:
    explicit HidingRegistry(std::shared_ptr<const Registry> inner) : _inner(std::move(inner)) {}
    void hide(const QString &name) const { QMutexLocker lock(&_mutex); _hidden.insert(name); }
    QList<RegistryEntry> matchingServices(const QVariantMap &match) const override
    {
        QList<RegistryEntry> found = _inner->matchingServices(match);
        QMutexLocker lock(&_mutex);
        found.removeIf([&](const RegistryEntry &e) {
            return _hidden.contains(_inner->properties(e).value(QStringLiteral("BSD Name")).toString());
        });
        return found;
    }
    RegistryEntry parentEntry(const RegistryEntry &e) const override { return _inner->parentEntry(e); }
    QVariantMap properties(const RegistryEntry &e) const override { return _inner->properties(e); }
    QString name(const RegistryEntry &e) const override { return _inner->name(e); }
    QList<RegistryEntry> descendants(const RegistryEntry &e) const override { return _inner->descendants(e); }
    RegistryEntry serviceNamed(const QString &n) const override { return _inner->serviceNamed(n); }
    std::optional<QVariantMap> diskDescription(const RegistryEntry &e) const override { return _inner->diskDescription(e); }

private:
    std::shared_ptr<const Registry> _inner;
    mutable QMutex _mutex;
    mutable QSet<QString> _hidden;
};

struct Demo
{
    std::shared_ptr<HidingRegistry> registry;
    std::shared_ptr<DrivePlatform> platform;
    // Simulated self-test time in ms; the recorded seam reads it.
    std::shared_ptr<int64_t> clock = std::make_shared<int64_t>(0);

    Demo()
    {
        QString error;
        auto opened = DrivePlatform::recorded(QStringLiteral(CORVANE_DEMO_SET), &error);
        EXPECT_TRUE(opened) << error.toStdString();
        platform = std::make_shared<DrivePlatform>(*opened);
        registry = std::make_shared<HidingRegistry>(platform->registry);
        platform->registry = registry;
        platform->ata = recordedAtaSmartOpener(platform->recordedSet, [c = clock] { return *c; });
        RecordedAtaSmart::resetSimulations();
    }
};

inline DriveEntry readEntry(const Demo &demo, const QString &name)
{
    DriveEnumerator enumerator(*demo.platform->registry);
    enumerator.driveInformation();
    DriveEntry entry;
    std::unique_ptr<THSMARTDevice> device = enumerator.deviceWithBSDName(name);
    EXPECT_TRUE(device) << name.toStdString();
    entry.settings = device->driveProperties();
    entry.readStatus = readDrive(*device, *demo.platform);
    entry.device = std::move(device);
    return entry;
}

struct Browser
{
    Demo demo;
    ScriptedDiskEvents *events = nullptr;
    std::unique_ptr<DriveBrowser> browser;

    Browser()
    {
        browser = std::make_unique<DriveBrowser>(demo.platform);
        auto scripted = std::make_unique<ScriptedDiskEvents>();
        events = scripted.get();
        browser->setDiskEvents(std::move(scripted));
        browser->resize(1000, 600);
        browser->show();
    }
    DriveBrowser &operator*() { return *browser; }
    QString shownSet() { return browser->findChild<QStackedWidget *>()->currentWidget()->objectName(); }
};

inline bool waitForDrives(DriveBrowser &browser)
{
    QSignalSpy rebuilt(&browser, &DriveBrowser::drivesChanged);
    return rebuilt.wait(20000);
}

inline QTreeView *driveList(DriveBrowser &b)
{
    return b.findChild<QTreeView *>(QStringLiteral("driveList"));
}

inline QStringList listedDrives(DriveBrowser &b)
{
    QStringList names;
    QAbstractItemModel *m = driveList(b)->model();
    for (int r = 0; r < m->rowCount(); ++r)
        names << m->index(r, 0).data().toString();
    return names;
}

} // namespace corvane::app::test
