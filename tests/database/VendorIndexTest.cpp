// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/thVendorDB.h"
#include "TestData.h"
#include "QStringPrinter.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace corvane;

// The index answers from the raw bytes what the dictionary holds.
TEST(VendorIndex, AgreesWithTheDictionary)
{
    const QByteArray sample = test::readData("pciids/sample.ids");
    const VendorIndex index(sample);
    const QVariantMap db = thVendorDB::parse(sample);
    EXPECT_EQ(index.version(), "2023.04.11");
    EXPECT_EQ(index.size(), db.size() - 1);
    EXPECT_EQ(index.vendorName(u"144d"), "Samsung Electronics Co Ltd");
    EXPECT_EQ(index.vendor(u"144d"), db.value("144d").toMap());
    // The repeated vendor: the later record, devices included.
    EXPECT_EQ(index.vendorName(u"0010"), "Allied Telesis (repeated)");
    EXPECT_EQ(index.vendor(u"0010").size(), 2);
    EXPECT_TRUE(index.contains(u"1a2b"));
    EXPECT_EQ(index.vendorName(u"1a2b"), "");
    for (const char16_t *unknown : {u"zzzz", u"1111", u"12", u"", u"144d0", u"C 00", u"144\u00e4"}) {
        EXPECT_FALSE(index.contains(unknown));
        EXPECT_TRUE(index.vendor(unknown).isEmpty());
        EXPECT_EQ(index.vendorName(unknown), "");
    }

    // Cut anywhere, and garbage: no crash, never a vendor the whole file lacks.
    for (qsizetype n = 0; n <= sample.size(); n += 3) {
        const VendorIndex part(sample.left(n));
        EXPECT_LE(part.size(), index.size());
        EXPECT_EQ(part.toMap().size(), part.size() + 1);
    }
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 37) ^ (i >> 2)));
    EXPECT_EQ(VendorIndex(garbage).toMap(), thVendorDB::parse(garbage));
    EXPECT_EQ(VendorIndex().size(), 0);
    EXPECT_EQ(VendorIndex().toMap().value("version").toString(), "");

    // CRLF line ends: the same names.
    QByteArray crlf = sample;
    crlf.replace("\n", "\r\n");
    EXPECT_EQ(VendorIndex(crlf).vendorName(u"144d"), "Samsung Electronics Co Ltd");
    EXPECT_EQ(VendorIndex(crlf).vendor(u"144d"), db.value("144d").toMap());
}

TEST(VendorIndex, RealSystemFile)
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
    const VendorIndex index(text);
    EXPECT_GT(index.size(), 2000);
    EXPECT_EQ(index.vendorName(u"8086"), "Intel Corporation");
    EXPECT_EQ(index.vendor(u"8086").value("name").toString(), "Intel Corporation");
    EXPECT_GT(index.vendor(u"8086").size(), 1000);
    // Devices are read on demand, from their own vendor's lines only.
    EXPECT_EQ(index.vendor(u"144d"), thVendorDB::parse(text).value("144d").toMap());
}
