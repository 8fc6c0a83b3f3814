// SPDX-License-Identifier: GPL-3.0-or-later
// The attribute pass: a SMART data page and a thresholds page decoded against
// a database whose one entry gives every attribute of the page a raw format
// (each format in turn), then every format over every 12-byte entry alone.
#include "FuzzSupport.h"
#include "database/DriveDatabase.h"
#include "drive/Attributes.h"

#include <QStringList>

using namespace corvane;

namespace {

const QStringList kFormats = {
    "raw8", "raw16", "raw48", "hex48", "raw48:54321", "raw56", "hex56", "raw64", "hex64",
    "raw16(raw16)", "raw16(avg16)", "raw24(raw8)", "raw24/raw24", "raw24/raw32", "sec2hour",
    "min2hour", "halfmin2hour", "msec24hour32", "temp10x", "tempminmax", "raw24/raw32:210zr54",
    "raw24/raw32:04321", "raw24/raw32:zvzzzw", "raw24/raw24:z54z10", "raw24/raw24:w01234",
    "raw24/raw24:w01z23", "hex64:w012345r", "hex48:w01234", "default", "no-such-format"};

// One database per format: the default entry, then "FUZZ" with every id 1..255 in that format.
const std::vector<DriveDatabase> &databases()
{
    static const std::vector<DriveDatabase> dbs = [] {
        std::vector<DriveDatabase> out;
        for (const QString &fmt : kFormats) {
            QByteArray options;
            for (int id = 1; id < 256; ++id)
                options += QByteArray("-v ") + QByteArray::number(id) + ',' + fmt.toLatin1() + ",Attr" + QByteArray::number(id) + ' ';
            const QByteArray text =
                "{ \"DEFAULT\", \"-\", \"-\", \"\", \"-v 9,min2hour\" },\n"
                "{ \"Fuzz drive\", \"FUZZ\", \"\", \"\", \"" + options.trimmed() + "\" },\n";
            out.push_back(DriveDatabase::parse(text));
        }
        return out;
    }();
    return dbs;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    databases();
    return 0;
}

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    if (in.empty())
        return;
    // First byte: which database, the SMART status and the ignore switches.
    const uint8_t control = in[0];
    const auto [smart, thresholds] = split(in.subspan(1), 512);
    const DriveDatabase &db = databases()[control % databases().size()];
    QVariantMap ignore;
    for (int id : {5, 10, 184, 187, 188, 190, 194, 196, 197, 198})
        ignore.insert(QStringLiteral("a%1").arg(id), bool((control >> (id % 7)) & 1));
    attributesModel(db, smart, thresholds, QStringLiteral("FUZZ"), QString(), ignore, control & 0x80);

    for (size_t at = 2; at + 12 <= smart.size() && at < 2 + 30 * 12; at += 12) {
        const auto entry = smart.subspan(at, 12);
        if (entry[0] == 0)
            continue;
        for (const QString &fmt : kFormats)
            decodeRawAttribute(entry, fmt);
    }
    int16_t temp[4];
    raw(smart.first(std::min<size_t>(6, smart.size())), temp);
}
