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

class FaultInjection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app();
        qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath(QStringLiteral("state"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
        QLoggingCategory::setFilterRules(QStringLiteral("corvane.*=false"));
        source = makeDriveSource([this]() -> std::optional<DrivePlatform> {
            QString error;
            std::optional<DrivePlatform> p = DrivePlatform::recorded(kDemoSet, &error);
            if (!p)
                return std::nullopt;
            p->registry = std::make_shared<test::FaultyRegistry>(p->registry, plan);
            ataScript->plan = &plan;
            p->ata = test::scriptedOpener(ataScript, p->ata);
            p->nvme = test::faultyNvmeOpener(p->nvme, plan);
            return p;
        });
        defaults = std::make_unique<SharedDefaults>(home.filePath(QStringLiteral("suite.conf")));
        watcher = std::make_unique<SMARTWatcher>(*source, *defaults);
        watcher->setContainer(home.filePath(QStringLiteral("group")));
        watcher->setBus(QDBusConnection(QStringLiteral("no-bus")));
    }
    void TearDown() override { QLoggingCategory::setFilterRules(QString()); }

    QByteArray dataJson() const
    {
        QFile f(home.filePath(QStringLiteral("group/data.json")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // data.json read as the widget reads it (kernel name -> health); *why set when the widget can't use it.
    QMap<QString, QString> dataFile(QString *why) const
    {
        QStringList problems;
        const auto drives = decodeDrivesForWidget(dataJson(), &problems);
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

    QTemporaryDir home;
    FaultPlan plan;
    std::shared_ptr<test::DriveScript> ataScript = std::make_shared<test::DriveScript>();
    std::unique_ptr<DriveSource> source;
    std::unique_ptr<SharedDefaults> defaults;
    std::unique_ptr<SMARTWatcher> watcher;
};

TEST_F(FaultInjection, EveryGatherCompletesWhateverOneCallDoes)
{
    // A clean gather first: how many calls each seam takes, and what it lists.
    ASSERT_TRUE(watcher->gatherSMARTDrives(false));
    const FaultPlan clean = plan;
    QString why;
    const QMap<QString, QString> healthy = dataFile(&why);
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
                const QMap<QString, QString> listed = dataFile(&bad);
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
    auto failing = makeDriveSource([] { return std::optional<DrivePlatform>(); });
    SMARTWatcher other(*failing, *defaults);
    other.setContainer(home.filePath(QStringLiteral("group")));
    other.setBus(QDBusConnection(QStringLiteral("no-bus")));
    EXPECT_FALSE(other.gatherSMARTDrives(false));
    EXPECT_EQ(dataJson(), before);
}

} // namespace
