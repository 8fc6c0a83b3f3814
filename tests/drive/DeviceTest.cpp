// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/THSMARTDevice.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(THSMARTDevice, StartsFromSettingsAndLaterWritersWin)
{
    const QVariantMap setting{{QStringLiteral("Device Model"), QStringLiteral("from registry")},
                              {QStringLiteral("BSD Name"), QStringLiteral("sda")}};
    auto device = THSMARTDevice::deviceWithSetting(setting);
    EXPECT_EQ(device->driveProperties(), setting);
    EXPECT_FALSE(device->driveProperties().contains(QStringLiteral("attributeHealth")));
    for (uint8_t b : device->identity)
        ASSERT_EQ(b, 0);

    device->mergeProperties({{QStringLiteral("Device Model"), QStringLiteral("from IDENTIFY")}});
    EXPECT_EQ(device->driveProperties().value(QStringLiteral("Device Model")).toString(),
              QStringLiteral("from IDENTIFY"));
    EXPECT_EQ(device->driveProperties().size(), 2);
}

TEST(THSMARTDevice, SelfTestStatusTexts)
{
    EXPECT_EQ(selfTestStatusText(0), QStringLiteral("Pass"));
    EXPECT_EQ(selfTestStatusText(8), QStringLiteral("Handling Damage"));
    EXPECT_EQ(selfTestStatusText(9), QStringLiteral("Unknown"));
    EXPECT_EQ(selfTestStatusText(14), QStringLiteral("Unknown"));
    EXPECT_EQ(selfTestStatusText(15), QStringLiteral("Test In Progress"));
}
