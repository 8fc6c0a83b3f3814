// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decoders make many maps with one set of keys: a row per attribute, a record
// per log entry. Built key by key, each map pays a search and a rebalance per
// key, most of a decoder's time. A RecordShape learns its keys from the first
// map it makes; every later one is a copy of that tree, which needs no key
// comparisons, with its values replaced in key order.
#include <QVariantMap>

#include <cstddef>
#include <map>
#include <mutex>
#include <span>
#include <vector>

namespace corvane {

class RecordShape
{
public:
    struct Field
    {
        const char *key; // Latin-1
        QVariant value;
    };

    // Give the same keys in the same order on every call (later fields win
    // over earlier ones with the same key). A call with other keys still
    // gets its map, built key by key. Thread-safe. The values are moved into
    // the map: a copy of each would cost a reference count and a release.
    template<size_t N>
    QVariantMap make(Field (&&fields)[N]) const
    {
        return make(std::span<Field>(fields, N));
    }

private:
    QVariantMap make(std::span<Field> fields) const;
    bool fits(std::span<const Field> fields) const;

    mutable std::once_flag _learned;
    mutable std::map<QString, QVariant> _shape; // the keys, null values
    mutable std::vector<const char *> _keys;    // in the order given
    mutable std::vector<size_t> _fieldOfKey;    // position in key order -> field
};

} // namespace corvane
