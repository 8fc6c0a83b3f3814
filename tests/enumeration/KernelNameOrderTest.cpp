// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/KernelNameOrder.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(KernelNameOrder, SortsAsUsersReadThem)
{
    EXPECT_EQ(sortedKernelNames({"sdaa", "sdb", "sdz", "sda"}), (QStringList{"sda", "sdb", "sdz", "sdaa"}));
    EXPECT_EQ(sortedKernelNames({"nvme10n1", "nvme1n1", "nvme0n1", "nvme1n2"}),
              (QStringList{"nvme0n1", "nvme1n1", "nvme1n2", "nvme10n1"}));
    EXPECT_EQ(sortedKernelNames({"sda10", "sda2", "sda1", "sda"}), (QStringList{"sda", "sda1", "sda2", "sda10"}));
    EXPECT_EQ(sortedKernelNames({"mmcblk10", "mmcblk2"}), (QStringList{"mmcblk2", "mmcblk10"}));
    EXPECT_EQ(sortedKernelNames({"vdb", "vda", "xvdaa", "xvdb"}), (QStringList{"vda", "vdb", "xvdb", "xvdaa"}));
    // Paths sort by their last component the same way.
    EXPECT_TRUE(kernelNameLess("/dev/sdz", "/dev/sdaa"));

    // Equal numbers written differently still order one way only.
    EXPECT_NE(kernelNameLess("sd01", "sd1"), kernelNameLess("sd1", "sd01"));
    EXPECT_FALSE(kernelNameLess("sda", "sda"));
    EXPECT_FALSE(kernelNameLess("", ""));
    EXPECT_TRUE(kernelNameLess("", "sda"));
    // A number too long for 64 bits saturates rather than wrapping to a small value.
    EXPECT_TRUE(kernelNameLess("disk5", "disk99999999999999999999999999"));
    EXPECT_TRUE(kernelNameLess("sdzz", "sdzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"));
    EXPECT_FALSE(kernelNameLess("sdzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", "sdzz"));
    const QStringList mixed = sortedKernelNames({"zram0", "nvme0n1", "sda", "disk2", "disk10", "ö1", "a-b"});
    EXPECT_EQ(mixed.size(), 7);
    EXPECT_LT(mixed.indexOf("disk2"), mixed.indexOf("disk10"));
}
