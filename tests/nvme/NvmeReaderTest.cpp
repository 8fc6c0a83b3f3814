// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestData.h"
#include "devices/RecordedSet.h"
#include "drive/NvmeReader.h"
#include "platform/DeviceStatus.h"
#include "platform/Paths.h"
#include "platform/recorded/RecordedNvme.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace corvane;
using corvane::test::readData;

namespace {

class NvmeReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        set.copyQemuNvme("nvme0n1");
    }
    void TearDown() override { qunsetenv("XDG_STATE_HOME"); }

    QString drive() const { return set.drive("nvme0n1"); }
    void put(const QString &name, const QByteArray &content) const { set.put("nvme0n1", name, content); }
    void remove(const QString &name) const { QFile::remove(QDir(drive()).filePath(name)); }
    QStringList logLines() const
    {
        QFile f(QDir(logDir()).filePath("corvane.log"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    static QVariantMap registry(const QString &bsd)
    {
        if (bsd != "nvme0n1")
            return {};
        return {{"NVMe SMART Capable", true}, {"Logical Block Size", 512}, {"Physical Block Size", 4096},
                {"Unrelated", 1},
                {"Device Characteristics", QVariantMap{{"Medium Type", "Solid State"}}},
                {"Protocol Characteristics", QVariantMap{{"Physical Interconnect", "PCI-Express"}}}};
    }
    thNVMe reader() const { return thNVMe(recordedNvmeOpener(set.path()), registry); }

    test::RecordedSet set;
    QTemporaryDir state;
};

} // namespace

TEST_F(NvmeReaderTest, ReadsAWholeDrive)
{
    int32_t status = -1;
    const QVariantMap r = reader().readNVMe_bsd("nvme0n1", &status);
    EXPECT_EQ(status, 0);
    test::expectGoldenJson("decode/nvme-qemu.json", r);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(NvmeReaderTest, ErrorEntriesAsManyAsIdentifyKeeps)
{
    QByteArray id = readData("nvme-qemu/nvme0-id-ctrl.bin");
    id[262] = 2; // three entries kept
    put("nvme-id-ctrl.bin", id);
    QByteArray errors(3 * 64, 0);
    errors[0] = 9;
    errors[128] = 7;
    errors[128 + 10] = char(0xCD);
    put("nvme-log01-error.bin", errors);

    const QVariantList log = reader().readNVMe_bsd("nvme0n1").value("errorLog").toList();
    ASSERT_EQ(log.size(), 2);
    test::expectFields(log.at(1).toMap(), {{"errorCount", 7}, {"cmdid", "00cd"}});
}

TEST_F(NvmeReaderTest, FailedReadsKeepTheRegistryValuesAndLogOneLine)
{
    // Error log missing: the list stays empty and one line says why.
    remove("nvme-log01-error.bin");
    // Firmware log missing: slots decode from zeros, the revision is the controller's.
    remove("nvme-log03-fwslot.bin");
    QVariantMap r = reader().readNVMe_bsd("nvme0n1");
    EXPECT_TRUE(r.value("errorLog").toList().isEmpty());
    EXPECT_EQ(r.value("firmwareSlots").toList().at(0).toMap().value("firmwareRevision").toString(), "7.2.22");
    EXPECT_EQ(r.value("activeFirmwareSlot").toUInt(), 0u);
    QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith("  readNVMe bsd: nvme0n1 unable to read error log page 1  error: e0c24002"))
        << lines[0].toStdString();
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  ")
                    .match(lines[0]).hasMatch());

    // No privileges: registry values only, the status for the front end.
    put("unreadable", "EACCES");
    int32_t status = 0;
    r = reader().readNVMe_bsd("nvme0n1", &status);
    EXPECT_TRUE(isPrivilegeStatus(status));
    EXPECT_EQ(r.size(), 5);
    EXPECT_TRUE(r.contains("Physical Block Size"));
    lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(
        "readNVMe bsd: nvme0n1 error  plugin: e0c0000d query: 00000000 ident: 00000000 data: 00000000 ")));

    // SMART log missing: identify succeeded, data failed.
    remove("unreadable");
    remove("nvme-log02-smart.bin");
    r = reader().readNVMe_bsd("nvme0n1", &status);
    EXPECT_EQ(status, statusFromNvme(0x4002));
    EXPECT_FALSE(r.contains("mn"));
    EXPECT_TRUE(logLines().last().endsWith("ident: 00000000 data: e0c24002 "));

    // A truncated identify block fails its read.
    put("nvme-id-ctrl.bin", QByteArray(100, 'x'));
    r = reader().readNVMe_bsd("nvme0n1", &status);
    EXPECT_EQ(status, kStatusShortTransfer);
    EXPECT_FALSE(r.contains("sn"));
}

TEST_F(NvmeReaderTest, DrivesThatAreNotThere)
{
    // Unknown to the registry: nothing at all, and nothing logged.
    EXPECT_TRUE(reader().readNVMe_bsd("nvme5n1").isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
    // Known to the registry but gone by the time it is read.
    QDir(drive()).removeRecursively();
    int32_t status = 0;
    const QVariantMap r = reader().readNVMe_bsd("nvme0n1", &status);
    EXPECT_TRUE(isNoDeviceStatus(status));
    EXPECT_EQ(r.size(), 5);
    EXPECT_EQ(logLines().size(), 1);
    // Without a registry lookup there are no registry values to fall back on.
    int32_t noStatus = 0;
    EXPECT_TRUE(thNVMe(recordedNvmeOpener(set.path())).readNVMe_bsd("nvme0n1", &noStatus).isEmpty());
    EXPECT_TRUE(isNoDeviceStatus(noStatus));
    EXPECT_TRUE(thNVMe({}).readNVMe_bsd("nvme0n1").isEmpty());
}

TEST_F(NvmeReaderTest, LogLinesGoUnderTheStateFolder)
{
    thNVMe::log(QString(), "first");
    thNVMe::log("corvane", QString::fromUtf8("z\xC3\xBCrich"));
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith("  first"));
    EXPECT_TRUE(lines[1].endsWith(QString::fromUtf8("  z\xC3\xBCrich")));
    EXPECT_TRUE(logDir().startsWith(state.path()));

    // A name is never a path out of the folder.
    thNVMe::log("../escape", "x");
    EXPECT_FALSE(QFile::exists(state.filePath("escape.log")));
    EXPECT_TRUE(QFile::exists(QDir(logDir()).filePath(".._escape.log")));
}
