// SPDX-License-Identifier: GPL-3.0-or-later
// Shared bits of the fuzz targets.
#pragma once
#include <QByteArray>
#include <QLoggingCategory>
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <span>

namespace corvane::fuzz {

inline std::span<const uint8_t> bytes(const uint8_t *data, size_t size) { return {data, size}; }

// Parsers log what they reject; a million log lines would only slow the run.
// Every target includes this header once, so each is quiet before its first input.
[[maybe_unused]] static const bool quiet = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return true;
}();

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
