// SPDX-License-Identifier: GPL-3.0-or-later
// Full gathers of the demo set by the agent's watcher, one call of one seam misbehaving per
// gather, swept over every call of a gather and every kind of fault.
#include "support/EventLoop.h"
#include "AgentDriveSource.h"
#include "FaultySeams.h"
#include "QStringPrinter.h"
#include "SMARTWatcher.h"
#include "drive/DriveSummary.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QLoggingCategory>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kDemoSet = QStringLiteral(CORVANE_TEST_DATA "/../../data/recorded/demo");

const char *const kSeamNames[] = {"registry", "ata", "nvme"};

// data.json read as the widget reads it (kernel name -> health); *why set when the widget can't use it.
QMap<QString, QString> dataFile(const QByteArray &json, QString *why)
{
    QStringList problems;
    const auto drives = decodeDrivesForWidget(json, &problems);
    if (!drives || !problems.isEmpty())
        *why = QStringLiteral("data.json is no list of drives the widget can read: ") + problems.join(u',');
    QMap<QString, QString> listed;
    for (const SMARTDrive &d : drives.value_or(QList<SMARTDrive>())) {
        if (listed.contains(d.bsdName))
            *why = QStringLiteral("a drive listed twice");
        listed.insert(d.bsdName, d.health);
    }
    return listed;
}

TEST(FaultInjection, EveryGatherCompletesWhateverOneCallDoes)
{
    app();
    QTemporaryDir home;
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath(QStringLiteral("state"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    QLoggingCategory::setFilterRules(QStringLiteral("corvane.*=false"));
    FaultPlan plan;
    const auto ataScript = std::make_shared<DriveScript>();
    ataScript->plan = &plan;
    const auto source = makeDriveSource([&]() -> std::optional<DrivePlatform> {
        QString error;
        std::optional<DrivePlatform> p = DrivePlatform::recorded(kDemoSet, &error);
        if (!p)
            return std::nullopt;
        p->registry = std::make_shared<FaultyRegistry>(p->registry, plan);
        p->ata = scriptedOpener(ataScript, p->ata);
        p->nvme = faultyNvmeOpener(p->nvme, plan);
        return p;
    });
    SharedDefaults defaults(home.filePath(QStringLiteral("suite.conf")));
    const auto watch = [&](DriveSource &from) {
        auto w = std::make_unique<SMARTWatcher>(from, defaults);
        w->setContainer(home.filePath(QStringLiteral("group")));
        w->setBus(QDBusConnection(QStringLiteral("no-bus")));
        return w;
    };
    const auto watcher = watch(*source);
    const auto dataJson = [&] {
        QFile f(home.filePath(QStringLiteral("group/data.json")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    // A clean gather first: how many calls each seam takes, and what it lists.
    ASSERT_TRUE(watcher->gatherSMARTDrives(false));
    const FaultPlan clean = plan;
    QString why;
    const QMap<QString, QString> healthy = dataFile(dataJson(), &why);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    ASSERT_EQ(healthy.size(), 8);
    EXPECT_EQ(healthy.value(QStringLiteral("sdf")), QStringLiteral("-")); // the demo's unreadable drive
    ASSERT_GT(clean.calls[int(Seam::Ata)], 20);
    ASSERT_GT(clean.calls[int(Seam::Nvme)], 4);
    ASSERT_GT(clean.calls[int(Seam::Registry)], 20);
    const QSet<QString> names(healthy.keyBegin(), healthy.keyEnd());
    const QSet<QString> words{"Passed", "Warning", "Failed", "-"};

    QStringList failures;
    for (Seam seam : {Seam::Registry, Seam::Ata, Seam::Nvme}) {
        for (Fault fault : {Fault::Status, Fault::Short, Fault::Garbage, Fault::Vanish}) {
            for (int n = 1; n <= clean.calls[int(seam)] && failures.size() < 20; ++n) {
                plan = FaultPlan{seam, fault, n};
                const QString where = QStringLiteral("%1 call %2, %3: ").arg(QLatin1String(kSeamNames[int(seam)])).arg(n).arg(QLatin1String(faultName(fault)));
                if (!watcher->gatherSMARTDrives(false)) {
                    failures << where + QStringLiteral("the gather ended without a list");
                    continue;
                }
                if (!plan.fired)
                    failures << where + QStringLiteral("the fault never fired (the gather took fewer calls)");
                if (plan.openSessions != 0)
                    failures << where + QStringLiteral("%1 session(s) left open").arg(plan.openSessions);
                for (const SMARTDrive &d : watcher->smartDrives())
                    if (!words.contains(d.health))
                        failures << where + d.bsdName + QStringLiteral(" has health ") + d.health;

                QString bad;
                const QMap<QString, QString> listed = dataFile(dataJson(), &bad);
                if (!bad.isEmpty()) {
                    failures << where + bad;
                    continue;
                }
                const QSet<QString> got(listed.keyBegin(), listed.keyEnd());
                // A registry that misleads enumeration may hide drives, never invent them;
                // a drive that fails to read is still listed.
                if (seam == Seam::Registry ? !names.contains(got) : got != names)
                    failures << where + QStringLiteral("lists ") + QStringList(got.values()).join(QLatin1Char(','));
                if (seam != Seam::Registry && fault == Fault::Vanish) {
                    // Drives read before the fault keep their verdict, drives after it have
                    // none; only the one being read when it vanished may end in between.
                    QStringList changed;
                    for (const QString &name : got)
                        if (listed.value(name) != healthy.value(name) && listed.value(name) != QLatin1String("-"))
                            changed << name + QStringLiteral(" read as ") + listed.value(name);
                    if (changed.size() > 1)
                        failures << where + changed.join(QStringLiteral(", "));
                }
            }
        }
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();

    // The enumeration itself failing leaves the last good data file in place.
    plan = FaultPlan{};
    ASSERT_TRUE(watcher->gatherSMARTDrives(false));
    const QByteArray before = dataJson();
    ASSERT_FALSE(before.isEmpty());
    const auto failing = makeDriveSource([] { return std::optional<DrivePlatform>(); });
    EXPECT_FALSE(watch(*failing)->gatherSMARTDrives(false));
    EXPECT_EQ(dataJson(), before);
    QLoggingCategory::setFilterRules(QString());
}

} // namespace
