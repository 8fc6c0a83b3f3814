// SPDX-License-Identifier: GPL-3.0-or-later
// Shared bits of the fuzz targets. Each target defines corvane::fuzz::testOne,
// whose body then sees Corvane's names; this header gives libFuzzer its entry point.
#pragma once
#include <QByteArray>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace corvane::fuzz {

void testOne(std::span<const uint8_t> in);

// Parsers log what they reject; a million log lines would only slow the run.
[[maybe_unused]] static const bool quiet = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return true;
}();

inline QByteArray text(std::span<const uint8_t> in)
{
    return QByteArray(reinterpret_cast<const char *>(in.data()), qsizetype(in.size()));
}

// A folder of the run's own, for targets whose input is a file.
inline const QTemporaryDir &scratch()
{
    static const QTemporaryDir dir;
    return dir;
}
inline void writeScratch(const QString &name, const QByteArray &content)
{
    QFile out(scratch().filePath(name));
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(content);
}

// Splits the input into a prefix of `n` bytes (fewer when short) and the rest.
struct Split
{
    std::span<const uint8_t> head, tail;
};
inline Split split(std::span<const uint8_t> in, size_t n)
{
    n = std::min(n, in.size());
    return {in.first(n), in.subspan(n)};
}

} // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    corvane::fuzz::testOne({data, size});
    return 0;
}
