// SPDX-License-Identifier: GPL-3.0-or-later
// Only the ranges and rules around the tables: their rows are data.
#include "drive/AtaTables.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(AtaTables, CommandRangesAndSubCommands)
{
    EXPECT_EQ(ata::commandName(0x00), "NOP [Abort queued commands]");
    EXPECT_EQ(ata::commandName(0xF6), "SECURITY DISABLE PASSWORD");
    // Vendor ranges, with their edges and the gaps between them.
    for (int c : {0x80, 0x8F, 0x9A, 0xC0, 0xC3, 0xF0, 0xF7, 0xFA, 0xFF})
        EXPECT_EQ(ata::commandName(c), "(vendor specific)") << c;
    for (const auto &[c, text] : {std::pair{0x01, "undefined 01"}, {0x7F, "undefined 7F"},
                                  {0x90, "EXECUTE DEVICE DIAGNOSTICS"}, {0xF8, "undefined F8"}, {0x100, "undefined 100"}})
        EXPECT_EQ(ata::commandName(c), QLatin1String(text)) << c;

    EXPECT_EQ(ata::command(0xB0, 0xD1), QString());
    EXPECT_EQ(ata::command(0xB0, 0xE0), "vendor specific");
    EXPECT_EQ(ata::command(0xB0, 0xFF), "vendor specific");
    for (int c : {0x5C, 0x5F}) {
        EXPECT_EQ(ata::command(c, 0x00), "Return security protocol information");
        EXPECT_EQ(ata::command(c, 0x06), "Reserved for TCG");
        EXPECT_EQ(ata::command(c, 0x07), QString());
        EXPECT_EQ(ata::command(c, 0x20), "Reserved for T10");
        EXPECT_EQ(ata::command(c, 0xEF), "Reserved for T10");
        EXPECT_EQ(ata::command(c, 0xF0), "Vendor Specific");
    }
    EXPECT_EQ(ata::command(0x63, 0x01), "DEADLINE HANDLING");
    EXPECT_EQ(ata::command(0x93, 0x0F), "activate");
    EXPECT_EQ(ata::command(0xEF, 0x09), ata::command(0xEF, 0x89));
    EXPECT_EQ(ata::command(0xEF, 0xCC), "Enable reverting to power-on defaults");
    EXPECT_EQ(ata::command(0x25, 0x00), QString());
}

TEST(AtaTables, ErrorStateAndVersions)
{
    EXPECT_EQ(ata::error(0), "Unknown");
    EXPECT_EQ(ata::error(0x81), " ILI/CCTO/MEDIA INTERFACE CRC");
    EXPECT_EQ(ata::error(0x28), " obsolete 0x08 obsolete 0x20"); // bits 3 and 5
    EXPECT_EQ(ata::error(0x100), "Unknown");
    EXPECT_EQ(ata::status(0x0a), "0A");
    EXPECT_EQ(ata::state(0x00), "Unknown");
    EXPECT_EQ(ata::state(0x04), "Executing SMART off-line or self-test");
    EXPECT_EQ(ata::state(0x1B), "Vendor 1B");
    EXPECT_EQ(ata::state(0x0A), "Reserved 0A");
    EXPECT_EQ(ata::state(0xF3), "Active/Idle");

    EXPECT_EQ(ata::ataVersionMajor(10, 0x6D), "ACS-3 T13/2161-D revision 5");
    EXPECT_EQ(ata::ataVersionMajor(10, 0x28), "ACS-3, ATA8-ACS T13/1699-D revision 6");
    EXPECT_EQ(ata::ataVersionMajor(8, 0), "ATA8-ACS");
    EXPECT_EQ(ata::ataVersionMajor(-1, 0x1F), "ACS-3 T13/2161-D revision 3b");
    EXPECT_EQ(ata::ataVersionMajor(-1, 0), QString());
    EXPECT_EQ(ata::ataVersionMajor(11, 0xFFFF), QString());
    EXPECT_EQ(ata::ataVersionMajor(0, 0x12), "ATA/ATAPI-4 published, ANSI NCITS 317-1998");
    EXPECT_EQ(ata::ataVersionMajor(1, 0x01), "ATA-1 X3T9.2/781D prior to revision 4");
    // "rev" inside "revision" must not be expanded twice.
    EXPECT_EQ(ata::ataVersionMajor(3, 0x0C), "ATA-3 X3T13/2008D revision 7 and 7a");
}
