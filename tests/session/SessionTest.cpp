// SPDX-License-Identifier: GPL-3.0-or-later
// The SMART session on a drive object: what a read merges, what it leaves
// alone when pages are bad or reads fail, and how a self-test is followed.
#include "support/Corvanectl.h"
#include "support/EventLoop.h"
#include "support/ScriptedAta.h"
#include "drive/AtaPages.h"
#include "drive/DriveReader.h"
#include "drive/THSMARTDevice.h"
#include "platform/SharedDefaults.h"
#include "platform/recorded/RecordedAtaSmart.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>

using namespace corvane;
using namespace corvane::test;

namespace {

class EndOfTestDelegate : public QObject
{
    Q_OBJECT
public:
    int calls = 0;
    QStringList received;
    Q_INVOKABLE void endOfTest(const QString &what) { ++calls; received << what; }
};

const QString kTrac = QStringLiteral("trac-1070_SSDSC2KB019T7R--SCV1DL57");

QVariantMap settingsFor(const QString &model, const QString &name = u"sda"_qs)
{
    return {{u"bsdName"_qs, name}, {u"Device Model"_qs, model}, {u"Serial Number"_qs, u"SETTINGS-SERIAL"_qs},
            {u"Firmware Version"_qs, u"FW-SETTINGS"_qs}, {u"isNVMe"_qs, false}};
}

std::unique_ptr<THSMARTDevice> deviceOn(const std::shared_ptr<DriveScript> &script, const QString &model = u"SSDSC2KB019T7R"_qs)
{
    auto d = THSMARTDevice::deviceWithSetting(settingsFor(model));
    d->setAtaOpener(scriptedOpener(script));
    return d;
}

QString prop(const THSMARTDevice &d, const char *key) { return d.driveProperties().value(QLatin1String(key)).toString(); }
bool has(const THSMARTDevice &d, const char *key) { return d.driveProperties().contains(QLatin1String(key)); }

// An empty summary error log of structure version 1, so every page can be read.
Page emptyErrorLog()
{
    Page p{};
    p[0] = 1;
    ataFixChecksum(p);
    return p;
}

// Polling times come from the data page the last read brought.
void readWithPolling(DriveScript &script, THSMARTDevice &d, const std::vector<std::pair<size_t, uint8_t>> &bytes)
{
    Page smart = script.page("smart");
    for (const auto &[offset, value] : bytes)
        smart[offset] = value;
    ataFixChecksum(smart);
    script.setPage("smart", smart);
    ASSERT_EQ(d.updateProperties(), 0);
}

class Session : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app();
        QLoggingCategory::setFilterRules(QStringLiteral("corvane.session.info=false"));
        THSMARTDevice::setSelfTestTickInterval(0);
        RecordedAtaSmart::resetSimulations();
    }
    void TearDown() override
    {
        THSMARTDevice::setSelfTestTickInterval(1000);
        RecordedAtaSmart::resetSimulations();
    }
};

} // namespace

TEST_F(Session, SkippedOrBadIdentifyKeepsTheSettingsButReadsEverythingElse)
{
    const Page good = realDrive(kTrac)->page("identify");
    Page wrongSum = good, unsigned_ = good;
    wrongSum[100] ^= 0x20;
    unsigned_[510] = 0; // without the 0xA5 signature the integrity word is absent, not wrong
    // The skip list holds exact strings only: one blank after the maker is another drive.
    struct Case { const char *model; Page identify; int identifyReads; bool decoded; };
    for (const Case &c : {Case{"ST3000DM001-1ER166", good, 0, false}, Case{"ST4000DX002-1H2178", good, 0, false},
                          Case{"LaCie   2big v2 THB USB3 Raid 0", good, 0, false}, Case{"LaCie   2big v2 THB USB3 Raid 1", good, 0, false},
                          Case{"LaCie 2big v2 THB USB3 Raid 0", good, 1, true}, Case{"SSDSC2KB019T7R", wrongSum, 1, false},
                          Case{"SSDSC2KB019T7R", Page{}, 1, false}, Case{"SSDSC2KB019T7R", unsigned_, 1, true}}) {
        SCOPED_TRACE(c.model);
        const auto script = realDrive(kTrac);
        script->setPage("identify", c.identify);
        const auto d = deviceOn(script, QLatin1String(c.model));
        ASSERT_EQ(d->updateProperties(), 0);
        EXPECT_EQ(script->count("identify"), c.identifyReads);
        EXPECT_EQ(prop(*d, "Serial Number"), c.decoded ? u"PHYS741401K01P9DGN"_qs : u"SETTINGS-SERIAL"_qs);
        EXPECT_EQ(prop(*d, "Firmware Version") == u"FW-SETTINGS"_qs, !c.decoded);
        EXPECT_EQ(has(*d, "ataVersion"), c.decoded);
        EXPECT_EQ(has(*d, "WWN"), c.decoded);
        EXPECT_EQ(prop(*d, "health"), u"Passed"_qs); // the rest of the drive is read as usual
        EXPECT_TRUE(has(*d, "selftestResults"));     // the last page read
    }
}

TEST_F(Session, InvalidSmartPagesGiveNoVerdictAndCapabilitiesFromZeros)
{
    const auto base = realDrive(kTrac);
    Page revisionZero = base->page("smart");
    revisionZero[0] = revisionZero[1] = 0;
    ataFixChecksum(revisionZero);
    Page badSum = base->page("smart");
    badSum[200] ^= 0xFF;
    const Page allOnes = [] { Page p; p.fill(0xFF); return p; }(); // checksum 0 mod 256 by accident

    struct Case { const char *name; Page page; bool validateFails; };
    for (const Case &c : {Case{"revision 0", revisionZero, false}, Case{"checksum", badSum, false},
                          Case{"all ones", allOnes, false}, Case{"validate refused", base->page("smart"), true}}) {
        SCOPED_TRACE(c.name);
        const auto script = realDrive(kTrac);
        script->setPage("smart", c.page);
        if (c.validateFails)
            script->failing["validate"] = kStatusBadChecksum;
        const auto d = deviceOn(script);
        d->driveProperties().insert(QStringLiteral("selftestResults"), QStringLiteral("earlier"));
        ASSERT_EQ(d->updateProperties(), 0);
        EXPECT_EQ((QStringList{prop(*d, "health"), prop(*d, "attributeHealth"), prop(*d, "Self-test status"), prop(*d, "Offline data collection status")}),
                  (QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("Never Run"), QStringLiteral("Never Started")}));
        EXPECT_EQ(d->driveProperties().value(QStringLiteral("Short self-test polling time")).toInt(), 0);
        EXPECT_FALSE(has(*d, "vendorspecificAttributes"));
        EXPECT_EQ(prop(*d, "selftestResults"), QStringLiteral("earlier")); // no logs read
        EXPECT_EQ(script->count("status") + script->count("thresholds") + script->count("log6"), 0);
        EXPECT_EQ(d->pages().smartData, Page{}); // the page is cleared
        EXPECT_FALSE(d->hasOpenSession());
    }
}

TEST_F(Session, FailedReadsLeaveEarlierKeys)
{
    QVariantMap earlier;
    for (const char *key : {"ataVersion", "health", "attributeHealth", "capArray", "logs", "errorLog", "selftestResults"})
        earlier.insert(QLatin1String(key), u"earlier"_qs);
    // Which keys a failed read of each page must leave as they were.
    const std::map<std::string, QStringList> kept{
        {"identify", {u"ataVersion"_qs}}, {"smart", {u"health"_qs, u"attributeHealth"_qs, u"capArray"_qs, u"logs"_qs, u"errorLog"_qs, u"selftestResults"_qs}},
        {"log0", {u"logs"_qs}}, {"log1", {u"errorLog"_qs}}, {"log6", {u"selftestResults"_qs}}, {"thresholds", {}}, {"status", {}}};
    for (const auto &[op, keys] : kept) {
        SCOPED_TRACE(op);
        const auto script = realDrive(kTrac);
        script->setPage("log1", emptyErrorLog());
        script->failing[op] = statusFromErrno(EIO);
        const auto d = deviceOn(script);
        d->mergeProperties(earlier);
        ASSERT_EQ(d->updateProperties(), 0);
        EXPECT_EQ(d->smartDataStatus(), op == "smart" ? statusFromErrno(EIO) : 0);
        for (auto it = earlier.cbegin(); it != earlier.cend(); ++it)
            EXPECT_EQ(d->driveProperties().value(it.key()) == it.value(), keys.contains(it.key())) << qPrintable(it.key());
        EXPECT_FALSE(d->hasOpenSession());
    }
    // A return status that can't be read counts as "not exceeded".
    const auto script = realDrive(QStringLiteral("Maxtor_96147H8--BAC51KJ0--2"));
    ASSERT_TRUE(script->set.file(QStringLiteral("sda"), QLatin1String(kAtaStatusFileName)).startsWith('0'));
    script->failing["status"] = kStatusNoAtaRegisters;
    const auto d = deviceOn(script, QStringLiteral("Maxtor 96147H8"));
    ASSERT_EQ(d->updateProperties(), 0);
    EXPECT_EQ(prop(*d, "health"), QStringLiteral("Passed"));
}

TEST_F(Session, FailedOpeningMergesNothingAndNoReadLeavesASessionOpen)
{
    const auto script = realDrive(kTrac);
    script->failing["open"] = statusFromErrno(EACCES);
    auto d = deviceOn(script);
    const QVariantMap before = d->driveProperties();
    EXPECT_EQ(d->updateProperties(), statusFromErrno(EACCES));
    EXPECT_EQ(d->driveProperties(), before);
    EXPECT_FALSE(d->hasOpenSession());

    script->failing = {{"enable", statusFromAtaRegisters(0x51, 0x04)}};
    EXPECT_EQ(d->updateProperties(), statusFromAtaRegisters(0x51, 0x04));
    EXPECT_EQ(d->driveProperties(), before);
    EXPECT_EQ(script->openSessions, 0);
    EXPECT_EQ(script->calls, (std::vector<std::string>{"enable"}));

    // A drive read once and then gone says so, rather than keep the old read's status.
    script->failing = {};
    ASSERT_EQ(d->updateProperties(), 0);
    script->failing["open"] = kStatusNoDevice;
    EXPECT_EQ(d->updateProperties(), kStatusNoDevice);
    EXPECT_EQ(d->smartDataStatus(), kStatusNoDevice);

    const auto full = realDrive(kTrac);
    full->setPage("log1", emptyErrorLog());
    EXPECT_EQ(deviceOn(full)->updateProperties(), 0);
    EXPECT_EQ(full->openSessions, 0);
    // One session around every read, closed at the end; then the drive going at each command in turn.
    const std::vector<std::string> commands{"enable", "identify", "smart", "validate", "status",
                                            "thresholds", "log0", "log1", "log6", "disable"};
    ASSERT_EQ(full->calls, commands);

    for (int n = 1; n <= int(commands.size()); ++n) {
        SCOPED_TRACE(n);
        const auto script = realDrive(kTrac);
        script->setPage("log1", emptyErrorLog());
        script->vanishAt = n;
        const auto d = deviceOn(script);
        const int32_t status = d->updateProperties();
        EXPECT_EQ(script->openSessions, 0);
        EXPECT_FALSE(d->hasOpenSession());
        if (n == 1)
            EXPECT_TRUE(isNoDeviceStatus(status)); // enabling failed
        else
            EXPECT_EQ(status, 0);
        // Gone before the data page came: no verdict at all, and the reason is kept.
        if (n <= 3) {
            EXPECT_FALSE(has(*d, "health"));
            EXPECT_TRUE(n == 1 || isNoDeviceStatus(d->smartDataStatus()));
        }
    }
}

TEST_F(Session, FollowedTestsEndOnceWithTheirTimes)
{
    struct Case { const char *test, *sent; std::vector<std::pair<size_t, uint8_t>> polling; std::deque<uint8_t> statuses;
                  int ticks; double progress, remaining; const char *status; };
    const Case cases[] = {
        {"Short", "short", {{smartdata::kShortPollingMinutes, 2}}, {0x00}, 1, 100.0 / 120.0, 119.0, "Pass 100%"},
        // A zero polling time gives infinite progress, but the ticks go on.
        {"Short", "short", {{smartdata::kShortPollingMinutes, 0}}, {0xF9, 0xF5, 0xF1, 0x70}, 4, INFINITY, -4.0,
         "Read Failure 100%"},
        // The extended time comes from the word when the byte is 255: 300 minutes.
        {"Extended", "extended", {{373, 255}, {375, 0x2C}, {376, 0x01}}, {0x00}, 1, 100.0 / 18000.0, 17999.0, "Pass 100%"},
        // Any other name runs the short test on byte 372.
        {"extended", "short", {{smartdata::kShortPollingMinutes, 1}, {373, 255}}, {0x00}, 1, 100.0 / 60.0, 59.0, "Pass 100%"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.remaining);
        const auto script = realDrive(kTrac);
        const auto d = deviceOn(script);
        readWithPolling(*script, *d, c.polling);
        script->selfTestStatus = c.statuses;
        EndOfTestDelegate delegate;
        d->setDelegate(&delegate);
        QSignalSpy signal(d.get(), &THSMARTDevice::endOfTest);

        ASSERT_EQ(d->startTest(QLatin1String(c.test)), 0);
        EXPECT_TRUE(d->driveProperties().value(QStringLiteral("tip")).toBool());
        EXPECT_TRUE(d->hasOpenSession());
        EXPECT_EQ(script->count(c.sent), 1);
        ASSERT_TRUE(waitUntil([&] { return delegate.calls > 0; }));
        waitUntil([] { return false; }, 100); // nothing more may come

        EXPECT_EQ(script->count("smart") - 1, c.ticks);
        const QVariantMap &p = d->driveProperties();
        EXPECT_EQ((QVariantList{p[u"test_progress"_qs], p[u"test_elapsed"_qs], p[u"test_remaining"_qs], p[u"test_status"_qs], p[u"tip"_qs]}),
                  (QVariantList{c.progress, double(c.ticks), c.remaining, QLatin1String(c.status), false}));
        EXPECT_EQ(delegate.received, QStringList{QStringLiteral("endoftest")});
        EXPECT_EQ(QList<QVariantList>(signal), QList<QVariantList>{{QStringLiteral("endoftest")}});
        EXPECT_FALSE(d->hasOpenSession());
        EXPECT_EQ(script->openSessions, 0);
        EXPECT_FALSE(d->isFollowingTest());
    }
}

TEST_F(Session, AbortStopsFollowingOnlyAndWithoutATimerDoesNothing)
{
    const auto script = realDrive(kTrac);
    const auto d = deviceOn(script);
    EndOfTestDelegate delegate;
    d->setDelegate(&delegate);
    QSignalSpy signal(d.get(), &THSMARTDevice::endOfTest);

    d->abortSelftest();
    EXPECT_EQ(d->stopSelfTest(), 0); // nothing to stop
    EXPECT_EQ(delegate.calls, 0);
    EXPECT_EQ(signal.count(), 0);
    EXPECT_EQ(script->opened, 0);
    EXPECT_FALSE(has(*d, "tip"));

    readWithPolling(*script, *d, {{smartdata::kShortPollingMinutes, 2}});
    script->selfTestStatus = {0xF8};
    ASSERT_EQ(d->startTest(QStringLiteral("Short")), 0);
    ASSERT_TRUE(waitUntil([&] { return script->count("smart") >= 4; }));
    EXPECT_TRUE(d->driveProperties().value(QStringLiteral("tip")).toBool());
    EXPECT_EQ(prop(*d, "test_status"), QStringLiteral("Test In Progress 20%"));
    const size_t commandsBefore = script->calls.size();
    d->abortSelftest();
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(signal.count(), 1);
    EXPECT_FALSE(d->driveProperties().value(QStringLiteral("tip")).toBool());
    EXPECT_FALSE(d->hasOpenSession());
    // The self-test log is read once more; no abort command reaches the drive.
    EXPECT_EQ(std::vector<std::string>(script->calls.begin() + long(commandsBefore), script->calls.end()),
              (std::vector<std::string>{"log6", "disable"}));
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(script->calls.size(), commandsBefore + 2); // no tick after the abort
    d->abortSelftest();
    EXPECT_EQ(delegate.calls, 1);
}

TEST_F(Session, RefusedOrLostTestsEndCleanly)
{
    // A drive that aborts EXECUTE OFF-LINE IMMEDIATE: nothing is followed.
    auto script = realDrive(kTrac);
    script->failing["short"] = statusFromAtaRegisters(0x51, 0x04);
    auto d = deviceOn(script);
    EXPECT_EQ(d->startTest(QStringLiteral("Short")), statusFromAtaRegisters(0x51, 0x04));
    EXPECT_FALSE(d->isFollowingTest());
    EXPECT_FALSE(has(*d, "tip"));
    EXPECT_FALSE(d->hasOpenSession());

    script->failing = {{"open", kStatusNoDevice}};
    EXPECT_EQ(d->startTest(QStringLiteral("Short")), kStatusNoDevice);
    EXPECT_FALSE(d->isFollowingTest());

    // The drive goes away while the test runs: following ends once, session closed.
    script = realDrive(kTrac);
    script->selfTestStatus = {0xF9};
    script->vanishAt = 6; // enable, short, then three ticks
    d = deviceOn(script);
    QSignalSpy lost(d.get(), &THSMARTDevice::endOfTest);
    ASSERT_EQ(d->startTest(QStringLiteral("Short")), 0);
    ASSERT_TRUE(waitUntil([&] { return lost.count() > 0; }));
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(d->driveProperties().value(QStringLiteral("tip")).toBool());
    EXPECT_EQ(script->openSessions, 0);

    // A read while a test is followed would pull the session from under it.
    script = realDrive(kTrac);
    script->selfTestStatus = {0xF9};
    d = deviceOn(script);
    ASSERT_EQ(d->startTest(QStringLiteral("Short")), 0);
    EXPECT_EQ(d->updateProperties(), statusFromErrno(EBUSY));
    EXPECT_TRUE(d->hasOpenSession());
    EXPECT_EQ(d->startTest(QStringLiteral("Extended")), 0); // one test is followed at a time
    EXPECT_EQ(script->count("extended"), 0);
    d->abortSelftest();
    EXPECT_FALSE(d->hasOpenSession());
}

TEST_F(Session, ReadDriveSaysWhyADriveHasNoVerdict)
{
    RecordedSet set;
    set.copy(QStringLiteral("sda"), QStringLiteral("identify.bin"), QStringLiteral("ata-pages/") + kTrac + QStringLiteral("/identify.bin"));
    set.put(QStringLiteral("sdb"), QStringLiteral("unreadable"), "EACCES\n");
    DrivePlatform platform;
    platform.ata = recordedAtaSmartOpener(set.path());

    // Identify only: the data page is missing, so the drive aborts SMART READ DATA.
    auto sda = THSMARTDevice::deviceWithSetting(settingsFor(QString()));
    EXPECT_EQ(readDrive(*sda, platform), statusFromAtaRegisters(0x51, 0x04));
    EXPECT_EQ(prop(*sda, "Serial Number"), QStringLiteral("PHYS741401K01P9DGN"));
    EXPECT_FALSE(has(*sda, "health"));

    auto sdb = THSMARTDevice::deviceWithSetting(settingsFor(QString(), u"sdb"_qs));
    const int32_t denied = readDrive(*sdb, platform);
    EXPECT_TRUE(isPrivilegeStatus(denied));
    EXPECT_TRUE(statusUserMessage(denied).startsWith(QStringLiteral("Install the Corvane helper")));

    auto sdc = THSMARTDevice::deviceWithSetting(settingsFor(QString(), u"sdc"_qs)); // listed, but its folder is gone
    EXPECT_TRUE(isNoDeviceStatus(readDrive(*sdc, platform)));
    EXPECT_FALSE(sdc->hasOpenSession());
}

// The session and `corvanectl decode` decode through one pipeline: the same properties on every real drive.
TEST_F(Session, SessionAndDecodeGiveTheSamePropertiesOnRealDrives)
{
    QStringList folders;
    for (const QString &root : {dataPath(QStringLiteral("ata-pages")), QStringLiteral("/work/shared/testdata/ata-pages")}) {
        QDirIterator it(root, {QStringLiteral("smart.bin")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            folders << QFileInfo(it.next()).absolutePath();
    }
    folders.sort();
    ASSERT_GE(folders.size(), 20);

    const CliRun decode = Cli().run(QStringList{u"decode"_qs, u"--json"_qs} + folders);
    ASSERT_EQ(decode.exitCode, 0) << decode.err.constData();
    const QJsonArray decoded = QJsonDocument::fromJson(decode.out).array();
    ASSERT_EQ(decoded.size(), folders.size());

    for (qsizetype i = 0; i < folders.size(); ++i) {
        SCOPED_TRACE(folders[i].toStdString());
        RecordedSet set;
        set.copyAtaPages(QStringLiteral("sda"), folders[i]);
        auto d = THSMARTDevice::deviceWithSetting({{QStringLiteral("bsdName"), QStringLiteral("sda")},
                                                   {QStringLiteral("ignoreAttributes"), defaultIgnoreAttributes()}});
        d->setAtaOpener(recordedAtaSmartOpener(set.path()));
        ASSERT_EQ(d->updateProperties(), 0);
        QVariantMap session = d->driveProperties();
        session.remove(QStringLiteral("bsdName"));
        session.remove(QStringLiteral("ignoreAttributes"));
        QJsonObject fromDecode = decoded.at(i).toObject();
        for (const char *frontEnd : {"source", "diskMfgLogo", "mfgLogoPath"})
            fromDecode.remove(QLatin1String(frontEnd));
        EXPECT_EQ(QJsonObject::fromVariantMap(session), fromDecode);
    }
}

#include "SessionTest.moc"
