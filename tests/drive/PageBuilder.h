// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-made 512-byte pages for the edge cases real drives do not show.
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::test {

struct PageBuilder
{
    std::array<uint8_t, 512> bytes{};

    PageBuilder &byte(size_t offset, uint8_t value)
    {
        bytes.at(offset) = value;
        return *this;
    }
    PageBuilder &le32(size_t offset, uint32_t value, size_t width = 4)
    {
        for (size_t i = 0; i < width; ++i)
            bytes.at(offset + i) = uint8_t(value >> (8 * i));
        return *this;
    }
    PageBuilder &le16(size_t offset, uint16_t value) { return le32(offset, value, 2); }
    PageBuilder &word(size_t index, uint16_t value) { return le16(index * 2, value); }
    // An ATA text field: characters swapped within each word, blank padded.
    PageBuilder &text(size_t firstWord, size_t words, std::string_view s)
    {
        for (size_t i = 0; i < words * 2; ++i) {
            const uint8_t c = i < s.size() ? uint8_t(s[i]) : uint8_t(' ');
            bytes.at(firstWord * 2 + (i ^ 1)) = c;
        }
        return *this;
    }
    std::span<const uint8_t> span() const { return bytes; }
};

} // namespace corvane::test
