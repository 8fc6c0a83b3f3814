// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/ManufacturerLogos.h"
#include "support/Fields.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct InvalidReports
{
    QStringList names;
    InvalidReports()
    {
        setInvalidManufacturerHandler([this](const QString &n) { names << n; });
    }
    ~InvalidReports() { setInvalidManufacturerHandler({}); }
};

} // namespace

TEST(ManufacturerLogos, CatalogueNamesNeedNoFiles)
{
    const QStringList &names = logoCatalogueNames();
    EXPECT_EQ(names.size(), 251);
    EXPECT_TRUE(std::is_sorted(names.cbegin(), names.cend()));
    for (const char *n : {"acasis", "g.skill", "ztc"})
        EXPECT_TRUE(logoCatalogueContains(QLatin1String(n))) << n;
    EXPECT_FALSE(logoCatalogueContains("NSCaution"));
    EXPECT_FALSE(logoCatalogueContains(QString()));
}

TEST(ManufacturerLogos, PrefixContainsAndFirstWordRules)
{
    InvalidReports reports;
    const struct { const char *model; const char *image; } cases[] = {
        {"StoreJet Transcend", "transcend"},   // "storejet" outranks "st"
        {"ST250-8 industrial", "apacer"},      // "st250-" outranks "st"
        {"D2C-MSM-240", "ocz"},                // "d2c" outranks "d2"
        {"d2 Quadra", "lacie"},
        {"WDC WD5000AAKS-00TMA0", "westerndigital"},
        {"Samsung Portable", "samsung"},       // no rule: first word
        {"SAMSUNG_HD501LJ", "samsung"},        // underscore splits words
        {"Extreme SanDisk Pro", "sandisk"},    // prefix "extre"
        {"My Passport SANDISK edition", "sandisk"}, // contains, any case
        {"USB DISK 3.0", "mass"},
        {"Generic- SD/MMC", "mass"},
        {"Phison E12 reference", "phison"},    // contains rule when no prefix matches
        {"MCCOE64GEMPP", "NSCaution"},         // "mcc0" needs a zero
        {"NoSuchMaker 1TB", "NSCaution"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(mfgLogoForDriveModel(QLatin1String(c.model)), QLatin1String(c.image)) << c.model;
    EXPECT_EQ(reports.names, (QStringList{"mccoe64gempp", "nosuchmaker"}));

    EXPECT_EQ(mfgLogoForDriveModel(QString()), QString());
    EXPECT_EQ(mfgLogoPathForDriveModel(QString()), QString());
    EXPECT_EQ(reports.names.size(), 2); // an empty model raises nothing
}

TEST(ManufacturerLogos, PathIsTheImagesFile)
{
    // The tiles are drawn by the build; tests run from the build tree.
    EXPECT_EQ(dataDirs().value(0), QStringLiteral(CORVANE_BUILD_DATA_DIR));
    for (const char *model : {"ST9100821AS", "Samsung_SSD_850"}) {
        const QString path = mfgLogoPathForDriveModel(QLatin1String(model));
        EXPECT_EQ(path, QStringLiteral(CORVANE_BUILD_DATA_DIR "/drive-logos/%1.png").arg(mfgLogoForDriveModel(QLatin1String(model))))
            << model;
    }
    EXPECT_EQ(mfgLogoPathForDriveModel("../../etc/passwd"), QString());
    EXPECT_EQ(mfgLogoPathForDriveModel(".."), QString());
    EXPECT_FALSE(logoCatalogueImagePath("apacer").isEmpty());
    EXPECT_EQ(logoCatalogueImagePath("NSCaution"), QString());
}

TEST(ManufacturerLogos, UserDataFolderWithCapitalisedName)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    ASSERT_TRUE(test::writeFile(home.path() + "/corvane/drive-logos/Mccoe64gempp.png", {}));

    EXPECT_EQ(QFileInfo(mfgLogoPathForDriveModel("MCCOE64GEMPP")).completeBaseName(), "Mccoe64gempp");
    // Files of the build tree come first.
    EXPECT_TRUE(mfgLogoPathForDriveModel("ST9100821AS").startsWith(QStringLiteral(CORVANE_BUILD_DATA_DIR)));

    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}
