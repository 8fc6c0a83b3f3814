// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestData.h"
#include "drive/NvmeReader.h"
#include "platform/DeviceStatus.h"
#include "platform/Paths.h"
#include "platform/recorded/RecordedNvme.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>

using namespace corvane;
using corvane::test::readData;

namespace {

// A recorded set with the QEMU controller as nvme0n1, and a private log folder.
class NvmeReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        for (const char *name : {"id-ctrl", "log01-error", "log02-smart", "log03-fwslot"})
            put(QStringLiteral("nvme-%1.bin").arg(QLatin1String(name)),
                readData(QStringLiteral("nvme-qemu/nvme0-%1.bin").arg(QLatin1String(name))));
    }
    void TearDown() override { qunsetenv("XDG_STATE_HOME"); }

    QString drive() const { return set.filePath(QStringLiteral("drives/nvme0n1")); }
    void put(const QString &name, const QByteArray &content) const
    {
        QDir().mkpath(drive());
        QFile f(QDir(drive()).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    void remove(const QString &name) const { QFile::remove(QDir(drive()).filePath(name)); }
    QStringList logLines() const
    {
        QFile f(QDir(logDir()).filePath(QStringLiteral("corvane.log")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    static QVariantMap registry(const QString &bsd)
    {
        if (bsd != QStringLiteral("nvme0n1"))
            return {};
        return {{QStringLiteral("NVMe SMART Capable"), true},
                {QStringLiteral("Logical Block Size"), 512},
                {QStringLiteral("Physical Block Size"), 4096},
                {QStringLiteral("Unrelated"), 1},
                {QStringLiteral("Device Characteristics"),
                 QVariantMap{{QStringLiteral("Medium Type"), QStringLiteral("Solid State")}}},
                {QStringLiteral("Protocol Characteristics"),
                 QVariantMap{{QStringLiteral("Physical Interconnect"), QStringLiteral("PCI-Express")}}}};
    }
    thNVMe reader() const { return thNVMe(recordedNvmeOpener(set.path()), registry); }

    QTemporaryDir set, state;
};

} // namespace

TEST_F(NvmeReaderTest, ReadsAWholeDrive)
{
    int32_t status = -1;
    const QVariantMap r = reader().readNVMe_bsd(QStringLiteral("nvme0n1"), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(r.value("NVMe SMART Capable").toBool(), true);
    EXPECT_EQ(r.value("Logical Block Size").toInt(), 512);
    EXPECT_EQ(r.value("Medium Type").toString(), "Solid State");
    EXPECT_EQ(r.value("Physical Interconnect").toString(), "PCI-Express");
    EXPECT_FALSE(r.contains("Unrelated"));
    EXPECT_FALSE(r.contains("Device Characteristics"));
    EXPECT_EQ(r.value("mn").toString(), "QEMU NVMe Ctrl");
    EXPECT_EQ(r.value("nvmeIFRev").toString(), "1.4");
    EXPECT_EQ(r.value("attributeHealth").toString(), "Passed");
    EXPECT_EQ(r.value("powerStates").toList().size(), 1);
    EXPECT_EQ(r.value("firmwareSlotCount").toUInt(), 1u);
    ASSERT_TRUE(r.contains("errorLog"));
    EXPECT_TRUE(r.value("errorLog").toList().isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(NvmeReaderTest, CriticalWarningAndErrorEntries)
{
    QByteArray smart = readData(QStringLiteral("nvme-qemu/nvme0-log02-smart.bin"));
    smart[0] = 0x04;
    put(QStringLiteral("nvme-log02-smart.bin"), smart);
    QByteArray id = readData(QStringLiteral("nvme-qemu/nvme0-id-ctrl.bin"));
    id[262] = 2; // three entries kept
    put(QStringLiteral("nvme-id-ctrl.bin"), id);
    QByteArray errors(3 * 64, 0);
    errors[0] = 9;
    errors[128] = 7;
    errors[128 + 10] = char(0xCD);
    put(QStringLiteral("nvme-log01-error.bin"), errors);

    const QVariantMap r = reader().readNVMe_bsd(QStringLiteral("nvme0n1"));
    EXPECT_EQ(r.value("attributeHealth").toString(), "Failed");
    EXPECT_EQ(r.value("lowReliability").toUInt(), 4u);
    const QVariantList log = r.value("errorLog").toList();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log.at(1).toMap().value("errorCount").toULongLong(), 7u);
    EXPECT_EQ(log.at(1).toMap().value("cmdid").toString(), "00cd");
}

TEST_F(NvmeReaderTest, FailedReadsKeepTheRegistryValuesAndLogOneLine)
{
    // Error log missing: the list stays empty and one line says why.
    remove(QStringLiteral("nvme-log01-error.bin"));
    // Firmware log missing: slots decode from zeros, the revision is the controller's.
    remove(QStringLiteral("nvme-log03-fwslot.bin"));
    QVariantMap r = reader().readNVMe_bsd(QStringLiteral("nvme0n1"));
    EXPECT_TRUE(r.value("errorLog").toList().isEmpty());
    EXPECT_EQ(r.value("firmwareSlots").toList().at(0).toMap().value("firmwareRevision").toString(), "7.2.22");
    EXPECT_EQ(r.value("activeFirmwareSlot").toUInt(), 0u);
    QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(
        QStringLiteral("  readNVMe bsd: nvme0n1 unable to read error log page 1  error: e0c24002")))
        << lines[0].toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  "))
                    .match(lines[0]).hasMatch());

    // No privileges: registry values only, the status for the front end.
    put(QStringLiteral("unreadable"), "EACCES");
    int32_t status = 0;
    r = reader().readNVMe_bsd(QStringLiteral("nvme0n1"), &status);
    EXPECT_TRUE(isPrivilegeStatus(status));
    EXPECT_EQ(r.size(), 5);
    EXPECT_TRUE(r.contains("Physical Block Size"));
    lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(
        "readNVMe bsd: nvme0n1 error  plugin: e0c0000d query: 00000000 ident: 00000000 data: 00000000 ")));

    // SMART log missing: identify succeeded, data failed.
    remove(QStringLiteral("unreadable"));
    remove(QStringLiteral("nvme-log02-smart.bin"));
    r = reader().readNVMe_bsd(QStringLiteral("nvme0n1"), &status);
    EXPECT_EQ(status, statusFromNvme(0x4002));
    EXPECT_FALSE(r.contains("mn"));
    EXPECT_TRUE(logLines().last().endsWith(QStringLiteral("ident: 00000000 data: e0c24002 ")));

    // A truncated identify block fails its read.
    put(QStringLiteral("nvme-id-ctrl.bin"), QByteArray(100, 'x'));
    r = reader().readNVMe_bsd(QStringLiteral("nvme0n1"), &status);
    EXPECT_EQ(status, kStatusShortTransfer);
    EXPECT_FALSE(r.contains("sn"));
}

TEST_F(NvmeReaderTest, DrivesThatAreNotThere)
{
    // Unknown to the registry: nothing at all, and nothing logged.
    EXPECT_TRUE(reader().readNVMe_bsd(QStringLiteral("nvme5n1")).isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
    // Known to the registry but gone by the time it is read.
    QDir(drive()).removeRecursively();
    int32_t status = 0;
    const QVariantMap r = reader().readNVMe_bsd(QStringLiteral("nvme0n1"), &status);
    EXPECT_TRUE(isNoDeviceStatus(status));
    EXPECT_EQ(r.size(), 5);
    EXPECT_EQ(logLines().size(), 1);
    // Without a registry lookup there are no registry values to fall back on.
    int32_t noStatus = 0;
    EXPECT_TRUE(thNVMe(recordedNvmeOpener(set.path())).readNVMe_bsd(QStringLiteral("nvme0n1"), &noStatus).isEmpty());
    EXPECT_TRUE(isNoDeviceStatus(noStatus));
    EXPECT_TRUE(thNVMe({}).readNVMe_bsd(QStringLiteral("nvme0n1")).isEmpty());
}

TEST_F(NvmeReaderTest, LogLinesGoUnderTheStateFolder)
{
    thNVMe::log(QString(), QStringLiteral("first"));
    thNVMe::log(QStringLiteral("corvane"), QString::fromUtf8("z\xC3\xBCrich"));
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("  first")));
    EXPECT_TRUE(lines[1].endsWith(QString::fromUtf8("  z\xC3\xBCrich")));
    EXPECT_TRUE(logDir().startsWith(state.path()));

    // A name is never a path out of the folder.
    thNVMe::log(QStringLiteral("../escape"), QStringLiteral("x"));
    EXPECT_FALSE(QFile::exists(state.filePath(QStringLiteral("escape.log"))));
    EXPECT_TRUE(QFile::exists(QDir(logDir()).filePath(QStringLiteral(".._escape.log"))));
}
