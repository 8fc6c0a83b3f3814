// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/NvmeDecoders.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace corvane;
using corvane::test::expectFields;

namespace {

using Block = std::vector<uint8_t>;

void putText(Block &b, size_t offset, const char *text, size_t width)
{
    std::memset(b.data() + offset, ' ', width);
    std::memcpy(b.data() + offset, text, std::min(width, std::strlen(text)));
}

void put16(Block &b, size_t offset, uint16_t v)
{
    b[offset] = uint8_t(v);
    b[offset + 1] = uint8_t(v >> 8);
}

QVariantMap entry(const QVariantList &list, int i)
{
    return list.at(i).toMap();
}

} // namespace

TEST(NvmeDecoders, CriticalWarningBitsAndVerdict)
{
    Block log(512, 0);
    struct Case { uint8_t warning; const char *verdict; };
    for (const Case c : {Case{0x00, "Passed"}, Case{0x01, "Warning"}, Case{0x02, "Warning"}, Case{0x04, "Failed"},
                         Case{0x08, "Failed"}, Case{0x10, "Warning"}, Case{0xE0, "Passed"}, Case{0x06, "Failed"}}) {
        log[0] = c.warning;
        const QVariantMap h = nvmeHealthKeys(log);
        SCOPED_TRACE(int(c.warning));
        expectFields(h, {{"attributeHealth", c.verdict}, {"criticalWarning", c.warning},
                         {"lowSpare", c.warning & 1u}, {"overTemp", c.warning & 2u},
                         {"lowReliability", c.warning & 4u}, {"readOnly", c.warning & 8u},
                         {"failedVMBkup", c.warning & 16u}});
    }
}

TEST(NvmeDecoders, HealthValues)
{
    Block log(512, 0);
    put16(log, 1, 310);
    log[3] = 7;
    log[4] = 10;
    log[5] = 120;
    // Data units written: a 128-bit counter with both halves set.
    for (int i = 0; i < 8; ++i) {
        log[48 + i] = 0xFF;
        log[56 + i] = uint8_t(i == 0 ? 2 : 0);
    }
    log[160] = 5;        // media errors
    log[192] = 0x10;     // warning temperature time
    log[199] = 0x01;     // critical temperature time, top byte
    const QVariantMap h = nvmeHealthKeys(log);
    test::expectGoldenJson("decode/nvme-health.json", h);
    // Above 2^63 a JSON number is a double: the exact values.
    expectFields(h, {{"dataUnitsWriteLo", 0xFFFFFFFFFFFFFFFFull}, {"totalBytesWritten", 0xFFFFFFFFFFFFFFFFull * 512000u}});
    log[5] = 100;
    EXPECT_EQ(nvmeHealthKeys(log).value("percentRemaining").toUInt(), 0u);
}

TEST(NvmeDecoders, PowerStatesStayInsideTheIdentifyBlock)
{
    Block id(4096, 0);
    for (size_t i = 0; i < 32; ++i)
        put16(id, 2048 + 32 * i, uint16_t(100 + i));
    id[2048 + 3] = 1;                   // state 0: 0.0001 W units, operational
    id[2048 + 32 + 3] = 2;              // state 1: non-operational
    id[2048 + 31 * 32 + 12] = 0xFF;     // state 31: rrt, the whole byte
    id[3072] = 0x55;                    // beyond the descriptors
    id[263] = 31;
    test::expectGoldenJson("decode/nvme-power-states.json", nvmePowerStates(id));
    id[263] = 255;
    QVariantList states = nvmePowerStates(id);
    ASSERT_EQ(states.size(), 32);
    EXPECT_NEAR(entry(states, 31).value("mp").toFloat(), 1.31f, 1e-5);

    // A short block claiming many states: the missing descriptors read as zero.
    Block shortId(2100, 0);
    shortId[263] = 255;
    put16(shortId, 2048, 900);
    states = nvmePowerStates(shortId);
    ASSERT_EQ(states.size(), 32);
    EXPECT_NEAR(entry(states, 0).value("mp").toFloat(), 9.0f, 1e-5);
    EXPECT_EQ(entry(states, 5).value("mp").toFloat(), 0.0f);
    EXPECT_EQ(nvmePowerStates({}).size(), 1);
}

TEST(NvmeDecoders, FirmwareSlots)
{
    Block id(4096, 0), log(512, 0);
    putText(id, 64, "FW123", 8);
    id[260] = 0x03;   // one slot, slot 1 read-only
    log[0] = 0x03;    // claims slot 3 is active
    QVariantMap f = nvmeFirmwareKeys(id, log);
    QVariantMap slot = entry(f.value("firmwareSlots").toList(), 0);
    expectFields(slot, {{"active", "Yes"}, {"firmwareRevision", "FW123"}}); // empty entry: the controller's
    EXPECT_EQ(f.value("activeFirmwareSlot").toUInt(), 3u);

    id[260] = 0x06;   // three slots, none read-only
    log[0] = 0x12;    // active 2, next 1
    putText(log, 8, "A1", 8);
    putText(log, 16, "B2", 8);
    test::expectGoldenJson("decode/nvme-firmware-slots.json", nvmeFirmwareKeys(id, log));

    // Seven slots and a log cut short: the missing revisions fall back too.
    id[260] = 0x0E;
    f = nvmeFirmwareKeys(id, std::span<const uint8_t>(log).first(20));
    ASSERT_EQ(f.value("firmwareSlots").toList().size(), 7);
    EXPECT_EQ(entry(f.value("firmwareSlots").toList(), 6).value("firmwareRevision").toString(), "FW123");
}

TEST(NvmeDecoders, ErrorLogEntries)
{
    Block log(4 * 64, 0);
    auto fill = [&](size_t i, uint64_t count) {
        uint8_t *e = log.data() + 64 * i;
        for (int k = 0; k < 8; ++k)
            e[k] = uint8_t(count >> (8 * k));
        put16(log, 64 * i + 8, 3);        // sqid
        put16(log, 64 * i + 10, 0x1234);  // cmdid
        put16(log, 64 * i + 12, 0x4005);  // status with the phase bit
        put16(log, 64 * i + 14, 0x00AB);  // parameter error location
        e[16] = 0x78;                      // lba
        e[23] = 0x01;
        e[24] = 0x01;                      // nsid
        e[28] = 0x2;                       // vsia
    };
    fill(0, 42);
    fill(2, 0x0100000000000001ull);
    EXPECT_EQ(nvmeErrorLog(log, 1).size(), 1);
    test::expectGoldenJson("decode/nvme-error-log.json", nvmeErrorLog(log, 4));
    // More entries claimed than the block holds, and a torn last entry.
    EXPECT_EQ(nvmeErrorLog(log, 256).size(), 2);
    EXPECT_EQ(nvmeErrorLog(std::span<const uint8_t>(log).first(150), 256).size(), 1);
    EXPECT_TRUE(nvmeErrorLog({}, 256).isEmpty());

    Block id(4096, 0);
    EXPECT_EQ(nvmeErrorLogEntryCount(id), 1u);
    id[262] = 255;
    EXPECT_EQ(nvmeErrorLogEntryCount(id), 256u);
}

TEST(NvmeDecoders, TextFieldsKeepOnlyValidCharacters)
{
    auto text = [](std::string raw) {
        return nvmeText(std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(raw.data()), raw.size()));
    };
    EXPECT_EQ(text("  SN 1\t "), "SN 1");
    EXPECT_EQ(text("AB\xFF" "C"), "ABC");                     // stray byte
    EXPECT_EQ(text("Caf\xC3\xA9 "), QString::fromUtf8("Caf\xC3\xA9")); // valid two-byte sequence
    EXPECT_EQ(text("X\xC0\xAFY"), "XY");                      // overlong '/'
    EXPECT_EQ(text("X\xED\xA0\x80Y"), "XY");                  // surrogate
    EXPECT_EQ(text("X\xF4\x90\x80\x80Y"), "XY");              // above U+10FFFF
    EXPECT_EQ(text("ok\xE2\x82"), "ok");                      // cut at the field's end
    EXPECT_EQ(text(std::string("SN\0\0 ", 5)), "SN");          // NUL padding
    EXPECT_EQ(text("\xE2\x82\xAC"), QString::fromUtf8("\xE2\x82\xAC"));
    // Continuation bytes are 0x80-0xBF, both ends included.
    EXPECT_EQ(text("\xC3\x80\xC3\xBF\xC3\x7F\xC3\xC0"), QString::fromUtf8("\xC3\x80\xC3\xBF\x7F"));
    EXPECT_EQ(text(""), "");

    Block id(4096, 0);
    putText(id, 4, "S\xFF\xFEN", 20);
    putText(id, 24, "Model \x80X", 40);
    expectFields(nvmeIdentifyKeys(id, 0, 0), {{"sn", "SN"}, {"mn", "Model X"}, {"nvmeIFRev", "0.0"}});
}

TEST(NvmeDecoders, IdentifyEdgeValuesAndShortBlocks)
{
    Block id(4096, 0);
    const auto mdts = [&](uint8_t v) { id[77] = v; return nvmeIdentifyKeys(id, 1, 3).value("mdts").toInt(); };
    EXPECT_EQ(mdts(0), 0); // no limit
    EXPECT_EQ(mdts(30), 1 << 30);
    EXPECT_EQ(mdts(31), 0);
    EXPECT_NEAR(nvmeIdentifyKeys(id, 1, 3).value("warning_oC").toFloat(), -273.15f, 1e-3);
    // A VER of 0 says nothing; a tertiary number shows.
    EXPECT_FALSE(nvmeIdentifyKeys(id, 1, 3).contains("nvmeRevSupported"));
    id[80] = 1, id[81] = 0, id[82] = 2;
    EXPECT_EQ(nvmeIdentifyKeys(id, 1, 3).value("nvmeRevSupported").toString(), "2.0.1");

    // Crashes on garbage are the fuzz target's; here the exact keys of cut blocks.
    const Block ones(4096, 0xA5);
    for (size_t length : {size_t(0), size_t(80), size_t(81)}) {
        const std::span<const uint8_t> block = std::span<const uint8_t>(ones).first(length);
        EXPECT_EQ(nvmeIdentifyKeys(block, 1, 0).size(), length > 80 ? 21 : 20) << length; // any byte of VER or none
        EXPECT_EQ(nvmeHealthKeys(block).size(), 37);
    }
    expectFields(nvmeIdentifyKeys({}, 0, 0), {{"sn", ""}, {"vid", "0000"}});
}
