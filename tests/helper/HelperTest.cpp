// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-helper on a private bus configured like the system bus (default
// deny, the shipped policy file included), with a fake polkit authority.
#include "HelperClient.h"
#include "HelperProtocol.h"
#include "HelperTestSupport.h"
#include "support/EventLoop.h"
#include "support/Fields.h"
#include "drive/DriveEnumerator.h"
#include "drive/DriveReader.h"
#include "platform/DeviceStatus.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::helper;

namespace {

using corvane::test::app;
using corvane::test::waitUntil;

QStringList helperCommand(const QStringList &args) { return helper::test::helperCommand(QStringLiteral(CORVANE_HELPER), args); }

class HelperBus : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        app();
        s_dir = new QTemporaryDir;
        const QString dir = s_dir->path();
        QDir().mkpath(dir + QStringLiteral("/services"));
        const QString user = QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
        QFile in(QStringLiteral(CORVANE_HELPER_TESTS "/system-bus.conf.in")), config(dir + QStringLiteral("/bus.conf"));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly) && config.open(QIODevice::WriteOnly));
        s_address = QStringLiteral("unix:path=%1/bus").arg(dir);
        config.write(QString::fromUtf8(in.readAll()).replace(u"@LISTEN@"_qs, s_address).replace(u"@SERVICES@"_qs, dir + u"/services"_qs)
                         .replace(u"@USER@"_qs, user).replace(u"@HELPER_CONF@"_qs, QStringLiteral(CORVANE_HELPER_SOURCE "/com.tarnholm.Corvane.Helper.conf"))
                         .toUtf8());
        config.close();
        // The helper and the activated helper find the bus as their system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", s_address.toUtf8());
        s_daemon = new QProcess;
        s_daemon->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config.fileName()});
        ASSERT_TRUE(s_daemon->waitForStarted(10000));
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(dir + QStringLiteral("/bus")); }));
        s_polkit = new QProcess;
        s_polkit->start(QStringLiteral(CORVANE_FAKE_POLKIT), {rulesFile(), logFile()});
        ASSERT_TRUE(s_polkit->waitForReadyRead(15000)) << s_polkit->readAllStandardError().constData();
    }
    static void TearDownTestSuite()
    {
        stopHelper();
        stop(s_polkit);
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        stop(s_daemon);
        delete s_dir;
    }
    static void stop(QProcess *&p)
    {
        p->terminate();
        p->waitForFinished(10000);
        delete std::exchange(p, nullptr);
    }

    static QDBusConnection bus() { return QDBusConnection::connectToBus(s_address, QStringLiteral("client")); }
    static bool helperOnBus() { return bus().interface()->isServiceRegistered(QLatin1String(kService)).value(); }
    static QDBusMessage call(const QString &interface, const QString &member, const QVariantList &args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath), interface, member);
        m.setArguments(args);
        return bus().call(m, QDBus::Block, 20000);
    }

    static void startHelper(const QStringList &args)
    {
        stopHelper();
        s_helper = new QProcess;
        const QStringList command = helperCommand(args);
        s_helper->start(command.first(), command.mid(1));
        ASSERT_TRUE(s_helper->waitForStarted(10000));
        ASSERT_TRUE(waitUntil(helperOnBus)) << s_helper->readAllStandardError().constData();
    }
    static void stopHelper()
    {
        if (!s_helper)
            return;
        s_helper->terminate();
        s_helper->waitForFinished(10000);
        s_helperLog = s_helper->readAllStandardError();
        stop(s_helper);
        waitUntil([] { return !helperOnBus(); });
    }

    static inline QTemporaryDir *s_dir = nullptr;
    static inline QString s_address;
    static inline QProcess *s_daemon = nullptr;
    static inline QProcess *s_helper = nullptr;
    static inline QByteArray s_helperLog;
    static inline QProcess *s_polkit = nullptr;

    static QString rulesFile() { return s_dir->path() + QStringLiteral("/polkit-rules"); }
    static QString logFile() { return s_dir->path() + QStringLiteral("/polkit-calls"); }
    // What the authority answers for every action: allow, deny or challenge.
    static void answer(const char *word) { corvane::test::writeFile(rulesFile(), QByteArray("* ") + word + '\n'); }
    // The calls since the last take: "ACTION system-bus-name:NAME".
    static QStringList takeCalls()
    {
        QFile f(logFile());
        const QStringList calls = f.open(QIODevice::ReadWrite) ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
        f.resize(0);
        return calls;
    }
};

QVariantMap readVia(DrivePlatform &platform, const QString &name, int32_t &status)
{
    DriveEnumerator enumerator(*platform.registry);
    enumerator.driveInformation();
    std::unique_ptr<THSMARTDevice> device = enumerator.deviceWithBSDName(name);
    if (!device)
        return {};
    status = readDrive(*device, platform);
    return device->driveProperties();
}

} // namespace

TEST_F(HelperBus, ReadsThroughTheHelperEqualDirectReadsAndFollowThePolicy)
{
    startHelper({QStringLiteral("--recorded"), QStringLiteral(CORVANE_DEMO_SET)});
    QString error;
    std::optional<DrivePlatform> direct = DrivePlatform::recorded(QStringLiteral(CORVANE_DEMO_SET), &error);
    ASSERT_TRUE(direct) << qPrintable(error);
    DrivePlatform viaHelper = *direct;
    viaHelper.ata = helperAtaSmartOpener(bus());
    viaHelper.nvme = helperNvmeOpener(bus());

    answer("allow");
    takeCalls();
    for (const char *drive : {"sda", "sdb", "sdc", "sdd", "sde", "nvme0n1", "nvme1n1"}) {
        const QString name = QLatin1String(drive);
        int32_t directStatus = -1, helperStatus = -2;
        const QVariantMap expected = readVia(*direct, name, directStatus);
        ASSERT_FALSE(expected.isEmpty()) << qPrintable(name);
        EXPECT_EQ(readVia(viaHelper, name, helperStatus), expected) << qPrintable(name);
        EXPECT_EQ(helperStatus, directStatus) << qPrintable(name);
    }
    // Every call authorised for the caller's own bus name, as a read.
    const QStringList calls = takeCalls();
    ASSERT_FALSE(calls.isEmpty());
    EXPECT_EQ(calls.count(QStringLiteral("com.tarnholm.corvane.read-smart system-bus-name:") + bus().baseService()),
              calls.size());

    // A drive the set can't read answers with its status, not a refusal.
    int32_t status = 0;
    std::unique_ptr<AtaSmartInterface> sdf = helperAtaSmartOpener(bus())(QStringLiteral("sdf"), status);
    ASSERT_TRUE(sdf);
    std::array<uint8_t, kAtaPageSize> page{};
    std::vector<uint8_t> nvmeIdentify(kNvmeIdentifySize);
    page.fill(0xA5);
    EXPECT_EQ(sdf->readData(page), statusFromErrno(EACCES));
    EXPECT_EQ(page[0], 0xA5);
    for (const auto &[member, empty] : {std::pair{u"AtaSmartData"_qs, QVariant(QByteArray())}, std::pair{u"AtaReturnStatus"_qs, QVariant(false)},
                                        std::pair{u"AtaCheckPowerMode"_qs, QVariant::fromValue(uint8_t(0))}})
        EXPECT_EQ(call(QLatin1String(kInterface), member, {u"sdf"_qs}).arguments(), (QVariantList{statusFromErrno(EACCES), empty}));

    // Denied and challenged: nothing read, the buffer untouched. Self-tests
    // are asked for every time, even of a caller just allowed to read.
    std::unique_ptr<AtaSmartInterface> sda = helperAtaSmartOpener(bus())(QStringLiteral("sda"), status);
    for (const char *word : {"deny", "challenge"}) {
        answer(word);
        const QDBusConnection other = QDBusConnection::connectToBus(s_address, QLatin1String(word));
        EXPECT_EQ(helperAtaSmartOpener(other)(QStringLiteral("sda"), status)->readData(page), kStatusHelperNotAuthorized);
        EXPECT_EQ(page[0], 0xA5);
        EXPECT_EQ(sda->executeOffLineImmediate(false), kStatusHelperNotAuthorized);
        EXPECT_EQ(helperNvmeOpener(other)(QStringLiteral("nvme0n1"), status)->identifyController(nvmeIdentify), kStatusHelperNotAuthorized);
        QDBusConnection::disconnectFromBus(QLatin1String(word));
    }
    // Self-tests ask for their own action; the conveyance test and abort go the same way.
    takeCalls();
    answer("allow");
    EXPECT_EQ(sda->executeOffLineImmediate(true), kStatusSuccess);
    EXPECT_EQ(helperAtaSelfTest(*sda, 0x7F), kStatusBadArgument); // recorded drives know only short and extended
    // A late line of the denied reads above may still come in; the self-test
    // questions are what counts here.
    EXPECT_EQ(takeCalls().filter(QStringLiteral("corvane.self-test ")),
              QStringList(2, QStringLiteral("com.tarnholm.corvane.self-test system-bus-name:") + bus().baseService()));
    bool exceeded = true;
    EXPECT_EQ(sda->returnStatus(exceeded), kStatusSuccess);
    EXPECT_FALSE(exceeded);

    stopHelper();
    EXPECT_TRUE(s_helperLog.contains(QStringLiteral("uid %1 AtaSmartData sda: status 0x00000000").arg(getuid()).toUtf8()))
        << s_helperLog.constData();
    EXPECT_TRUE(s_helperLog.contains(QStringLiteral("uid %1 AtaSmartData sdf: status 0xe0c0000d").arg(getuid()).toUtf8()));
}

TEST_F(HelperBus, RefusesWrongNamesAndMalformedRequests)
{
    // A device tree of odd nodes: a FIFO, a symlink to /dev/null, a regular
    // file, a drive of another driver, a partition.
    const QString sys = s_dir->path() + u"/tree/sys"_qs, dev = s_dir->path() + u"/tree/dev"_qs;
    QDir().mkpath(dev);
    for (const char *driver : {"sd", "nvme", "usb-storage"})
        QDir().mkpath(sys + u"/drivers/"_qs + QLatin1String(driver));
    struct Node { QString cls, name, number, driver; };
    for (const Node &n : {Node{u"block"_qs, u"sda"_qs, u"8:0"_qs, u"sd"_qs}, Node{u"block"_qs, u"sdb"_qs, u"1:3"_qs, u"sd"_qs},
                          Node{u"block"_qs, u"sdc"_qs, u"8:32"_qs, u"usb-storage"_qs}, Node{u"block"_qs, u"sdd"_qs, u"8:48"_qs, u"sd"_qs},
                          Node{u"block"_qs, u"sde"_qs, u"garbage"_qs, u"sd"_qs}, Node{u"nvme"_qs, u"nvme0"_qs, u"239:0"_qs, u"nvme"_qs}}) {
        const QString d = sys + u"/class/"_qs + n.cls + u'/' + n.name;
        QDir().mkpath(d + u"/device"_qs);
        corvane::test::writeFile(d + u"/dev"_qs, n.number.toLatin1() + '\n');
        QFile::link(sys + u"/drivers/"_qs + n.driver, d + u"/device/driver"_qs);
    }
    ASSERT_EQ(mkfifo(QFile::encodeName(dev + u"/sda"_qs).constData(), 0600), 0);
    QFile::link(u"/dev/null"_qs, dev + u"/sdb"_qs);
    QFile(sys + u"/class/block/sdd/partition"_qs).open(QIODevice::WriteOnly);
    QFile(dev + u"/nvme0"_qs).open(QIODevice::WriteOnly);

    startHelper({QStringLiteral("--sysfs-root"), sys, QStringLiteral("--dev-root"), dev});
    answer("allow");
    takeCalls();

    struct Case { QString member; QVariantList args; const char *error; QString reason; };
    const QList<Case> cases = {
        // Refused before polkit is asked.
        {u"AtaIdentify"_qs, {u"/dev/sda"_qs}, kErrorInvalidDevice, u"not a path"_qs},
        {u"AtaIdentify"_qs, {u".."_qs}, kErrorInvalidDevice, u"not a path"_qs},
        {u"AtaIdentify"_qs, {u"sda1"_qs}, kErrorInvalidDevice, u"\"sda1\" is not the kernel name of a whole ATA drive"_qs},
        {u"AtaIdentify"_qs, {u"null"_qs}, kErrorInvalidDevice, u"\"null\" is not the kernel name"_qs},
        {u"AtaIdentify"_qs, {u"nvme0"_qs}, kErrorInvalidDevice, u"whole ATA drive"_qs},
        {u"NvmeIdentify"_qs, {u"sda"_qs}, kErrorInvalidDevice, u"whole NVMe drive"_qs},
        {u"AtaIdentify"_qs, {QString(33, QLatin1Char('a'))}, kErrorInvalidDevice, u"longer than 32 bytes"_qs},
        {u"AtaIdentify"_qs, {QVariant::fromValue(5)}, kErrorInvalidRequest, u"malformed request: AtaIdentify takes (s)"_qs},
        {u"AtaIdentify"_qs, {u"sda"_qs, u"sda"_qs}, kErrorInvalidRequest, u"malformed"_qs},
        {u"AtaReadLog"_qs, {u"sda"_qs, QVariant::fromValue(uint8_t(0x80)), QVariant::fromValue(uint8_t(1))}, kErrorInvalidRequest, u"log address 0x80 is not one Corvane reads"_qs},
        {u"AtaReadLog"_qs, {u"sda"_qs, QVariant::fromValue(uint8_t(6)), QVariant::fromValue(uint8_t(2))}, kErrorInvalidRequest, u"oversized request: 2 log sectors"_qs},
        {u"AtaReadLog"_qs, {u"sda"_qs, QVariant::fromValue(uint8_t(6)), QVariant::fromValue(uint8_t(0))}, kErrorInvalidRequest, u"oversized request: 0 log sectors"_qs},
        {u"AtaSelfTest"_qs, {u"sda"_qs, QVariant::fromValue(uint8_t(0x04))}, kErrorInvalidRequest, u"self-test subcommand 0x04 is not offered"_qs},
        {u"NvmeSelfTest"_qs, {u"nvme0"_qs, QVariant::fromValue(uint8_t(0x03))}, kErrorInvalidRequest, u"self-test code 0x03 is not offered"_qs},
        {u"NvmeGetLogPage"_qs, {u"nvme0"_qs, QVariant::fromValue(uint8_t(1)), QVariant::fromValue(4097u)}, kErrorInvalidRequest, u"oversized request: 4097 dwords of log page 0x01 (at most 4096)"_qs},
        {u"NvmeGetLogPage"_qs, {u"nvme0"_qs, QVariant::fromValue(uint8_t(2)), QVariant::fromValue(129u)}, kErrorInvalidRequest, u"(at most 128)"_qs},
        {u"NvmeGetLogPage"_qs, {u"nvme0"_qs, QVariant::fromValue(uint8_t(0xC0)), QVariant::fromValue(1u)}, kErrorInvalidRequest, u"log page 0xc0 is not one"_qs},
        // Resolved by the helper after polkit allowed the call.
        {u"AtaIdentify"_qs, {u"sda"_qs}, kErrorInvalidDevice, u"/dev/sda is not the block device 8:0"_qs},
        {u"AtaIdentify"_qs, {u"sdb"_qs}, kErrorInvalidDevice, u"/dev/sdb is a symlink"_qs},
        {u"AtaIdentify"_qs, {u"sdc"_qs}, kErrorInvalidDevice, u"\"sdc\" is not driven by sd"_qs},
        {u"AtaIdentify"_qs, {u"sdd"_qs}, kErrorInvalidDevice, u"\"sdd\" is a partition"_qs},
        {u"AtaIdentify"_qs, {u"sde"_qs}, kErrorInvalidDevice, u"\"sde\" has no device number"_qs},
        {u"AtaIdentify"_qs, {u"sdz"_qs}, kErrorInvalidDevice, u"no drive named \"sdz\""_qs},
        {u"NvmeIdentify"_qs, {u"nvme0n1"_qs}, kErrorInvalidDevice, u"/dev/nvme0 is not the character device 239:0"_qs},
    };
    for (const Case &c : cases) {
        if (&c == &cases[17]) { // the malformed ones never reached polkit
            EXPECT_TRUE(takeCalls().isEmpty());
        }
        const QDBusMessage reply = call(QLatin1String(kInterface), c.member, c.args);
        EXPECT_EQ(reply.errorName(), QLatin1String(c.error)) << qPrintable(c.reason);
        EXPECT_TRUE(reply.errorMessage().contains(c.reason)) << qPrintable(reply.errorMessage());
    }
    EXPECT_EQ(takeCalls().size(), 1); // one answer covers a caller's burst of reads

    // The bus policy lets through only the fixed calls.
    for (const auto &[iface, member] : {std::pair{u"com.tarnholm.Corvane.Helper"_qs, u"SendRawCommand"_qs},
                                        std::pair{u"org.freedesktop.DBus.Introspectable"_qs, u"Introspect"_qs},
                                        std::pair{u"org.freedesktop.DBus.Properties"_qs, u"GetAll"_qs}})
        EXPECT_EQ(call(iface, member).errorName(), u"org.freedesktop.DBus.Error.AccessDenied"_qs) << qPrintable(member);

    // The client turns refusals into statuses.
    int32_t status = 0;
    auto sda = helperAtaSmartOpener(bus())(QStringLiteral("sda"), status);
    std::array<uint8_t, kAtaPageSize> page{};
    EXPECT_EQ(sda->getIdentifyData(page), kStatusNoDevice);
    EXPECT_FALSE(helperAtaSmartOpener(bus())(QStringLiteral("../sda"), status));
    EXPECT_EQ(status, kStatusNoDevice);

    // Refusals reach the journal, at most five a minute per caller.
    stopHelper();
    EXPECT_EQ(s_helperLog.count(QStringLiteral("uid %1 refused ").arg(getuid()).toUtf8()), 5) << s_helperLog.constData();
    EXPECT_TRUE(s_helperLog.contains("refused AtaIdentify: a device is named by its kernel name, not a path"));
}

TEST_F(HelperBus, StartsOnDemandAndExitsWhenIdle)
{
    stopHelper();
    // Options it refuses end it before it takes the bus: test folders while it
    // holds the drive capabilities, idle times outside 1 to 3600 seconds.
    const QStringList demo{u"--recorded"_qs, QStringLiteral(CORVANE_DEMO_SET), u"--idle-timeout"_qs};
    if (effectiveDriveCapabilities().rawio) {
        EXPECT_EQ(QProcess::execute(QStringLiteral(CORVANE_HELPER), demo + QStringList{u"1"_qs}), 2);
    }
    for (const char *seconds : {"0", "3601"}) {
        const QStringList command = helperCommand(demo + QStringList{QLatin1String(seconds)});
        EXPECT_EQ(QProcess::execute(command.first(), command.mid(1)), 2) << seconds;
    }
    int32_t status = 0;
    std::array<uint8_t, kAtaPageSize> page{};
    // Nothing can start it yet: the client says so.
    EXPECT_EQ(helperAtaSmartOpener(bus())(QStringLiteral("sda"), status)->readData(page), kStatusHelperMissing);
    EXPECT_FALSE(helperAvailable(bus()));

    const QString service = s_dir->path() + QStringLiteral("/services/com.tarnholm.Corvane.Helper.service");
    ASSERT_TRUE(corvane::test::writeFile(service, "[D-BUS Service]\nName=com.tarnholm.Corvane.Helper\nExec="
                                                      + helperCommand(demo + QStringList{u"1"_qs}).join(u' ').toUtf8() + "\n"));
    QDBusMessage reload = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                         QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig"));
    bus().call(reload);
    EXPECT_TRUE(waitUntil([] { return helperAvailable(bus()); }));

    answer("allow");
    auto sda = helperAtaSmartOpener(bus())(QStringLiteral("sda"), status);
    EXPECT_EQ(sda->readData(page), kStatusSuccess);
    EXPECT_TRUE(helperOnBus());
    // Gone after a second without calls; the next call starts it again.
    EXPECT_TRUE(waitUntil([] { return !helperOnBus(); }));
    page.fill(0);
    EXPECT_EQ(sda->readData(page), kStatusSuccess);
    EXPECT_TRUE(ataChecksumValid(page));
    EXPECT_TRUE(waitUntil([] { return !helperOnBus(); }));
    QFile::remove(service);
    bus().call(reload);
}
