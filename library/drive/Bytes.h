// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bounds-checked little-endian readers over byte spans. Firmware pages are
// untrusted: every read outside the span yields zero instead of touching memory.
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane {

using Bytes = std::span<const uint8_t>;

inline uint8_t u8(Bytes b, size_t off) { return off < b.size() ? b[off] : 0; }

inline uint16_t le16(Bytes b, size_t off)
{
    return uint16_t(u8(b, off) | (u8(b, off + 1) << 8));
}

inline uint32_t le32(Bytes b, size_t off)
{
    return uint32_t(le16(b, off)) | (uint32_t(le16(b, off + 2)) << 16);
}

inline uint64_t le48(Bytes b, size_t off)
{
    return uint64_t(le32(b, off)) | (uint64_t(le16(b, off + 4)) << 32);
}

inline uint64_t le64(Bytes b, size_t off)
{
    return uint64_t(le32(b, off)) | (uint64_t(le32(b, off + 4)) << 32);
}

// ATA IDENTIFY words are numbered, not addressed by byte.
inline uint16_t word(Bytes b, size_t index) { return le16(b, index * 2); }

// A sub-span clipped to what the buffer really holds.
inline Bytes slice(Bytes b, size_t off, size_t len)
{
    if (off >= b.size())
        return {};
    return b.subspan(off, std::min(len, b.size() - off));
}

} // namespace corvane
