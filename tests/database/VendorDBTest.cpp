// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/thVendorDB.h"
#include "TestData.h"
#include "QStringPrinter.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;

TEST(VendorDB, HandWrittenFile)
{
    const QByteArray text = test::readData("pciids/sample.ids");
    // A repeated vendor replaces the earlier record, devices included; an ID and one blank is an
    // empty name; malformed lines, short device lines and the class section never become entries.
    const QVariantMap db = thVendorDB::parse(text);
    test::expectGoldenJson("pciids-sample.json", db);
    const QVariantMap samsung = db.value("144d").toMap();

    EXPECT_EQ(thVendorDB::parse(QByteArrayView()).value("version").toString(), "");

    // The index answers the same from the raw bytes, names without devices.
    const VendorIndex index(text);
    EXPECT_EQ(index.size(), 6);
    EXPECT_EQ(index.vendorName(u"0010"), "Allied Telesis (repeated)");
    EXPECT_TRUE(index.contains(u"1a2b"));
    EXPECT_EQ(index.vendorName(u"1a2b"), "");
    for (const char16_t *unknown : {u"zzzz", u"1111", u"12", u"", u"144d0", u"C 00", u"144\u00e4"}) {
        EXPECT_FALSE(index.contains(unknown));
        EXPECT_EQ(index.vendorName(unknown), "");
    }
    QByteArray crlf = text;
    crlf.replace("\n", "\r\n");
    EXPECT_EQ(VendorIndex(crlf).vendor(u"144d"), samsung);
}

TEST(VendorDB, RealSystemFile)
{
    QString path;
    for (const QString &p : thVendorDB::shippedPaths())
        if (QFileInfo::exists(p)) {
            path = p;
            break;
        }
    if (path.isEmpty())
        GTEST_SKIP() << "no pci.ids installed (apt-get install pci.ids)";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    const QVariantMap db = thVendorDB::parse(text);

    // Vendors counted independently: unindented "xxxx  " lines before the class section.
    int vendors = 0;
    static const QRegularExpression vendorLine(QStringLiteral("^[0-9a-f]{4}  "));
    for (const QByteArray &line : text.split('\n')) {
        if (line.contains("List of known device classes"))
            break;
        if (vendorLine.match(QString::fromUtf8(line)).hasMatch())
            ++vendors;
    }
    EXPECT_GT(vendors, 2000);
    EXPECT_EQ(db.size(), vendors + 1); // + "version"
    EXPECT_FALSE(db.value("version").toString().isEmpty());
    for (const auto &[id, name] : {std::pair{"8086", "Intel Corporation"}, {"144d", "Samsung Electronics Co Ltd"},
                                   {"1c5c", "SK hynix"}})
        EXPECT_EQ(db.value(id).toMap().value("name").toString(), name);
    EXPECT_FALSE(db.value("144d").toMap().value("a808").toString().isEmpty());
    EXPECT_EQ(VendorIndex(text).vendorName(u"8086"), "Intel Corporation");
}

TEST(VendorDB, DownloadedCopyWinsWhenReadable)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    const QStringList saved = thVendorDB::shippedPaths();

    const QString shipped = home.filePath("shipped.ids");
    ASSERT_TRUE(test::writeFile(shipped, "#\tVersion: 1\n8086  Shipped Intel\n"));
    thVendorDB::setShippedPaths({home.filePath("missing.ids"), shipped});
    EXPECT_EQ(thVendorDB::unpackDB_PCIIDS()->value("8086").toMap().value("name").toString(), "Shipped Intel");

    ASSERT_TRUE(test::writeFile(thVendorDB::downloadedPath(), "#\tVersion: 2\n8086  Downloaded Intel\n"));
    thVendorDB::databaseDidUpdate();
    const auto db = thVendorDB::vendorDatabase();
    ASSERT_TRUE(db.has_value());
    EXPECT_EQ(db->value("version").toString(), "2");
    EXPECT_EQ(db->value("8086").toMap().value("name").toString(), "Downloaded Intel");

    // A download that is not text falls back to the shipped copy.
    ASSERT_TRUE(test::writeFile(thVendorDB::downloadedPath(), "\xff\xfe\x00binary"));
    EXPECT_EQ(thVendorDB::unpackDB_PCIIDS()->value("version").toString(), "1");

    thVendorDB::setShippedPaths({home.filePath("missing.ids")});
    EXPECT_FALSE(thVendorDB::unpackDB_PCIIDS().has_value());

    thVendorDB::setShippedPaths(saved);
    qunsetenv("XDG_DATA_HOME");
}
