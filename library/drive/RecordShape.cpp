// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/RecordShape.h"

#include <cstring>
#include <iterator>

namespace corvane {

namespace {

QVariantMap byKey(std::span<const RecordShape::Field> fields)
{
    QVariantMap m;
    for (const RecordShape::Field &f : fields)
        m.insert(QString::fromLatin1(f.key), f.value);
    return m;
}

} // namespace

bool RecordShape::fits(std::span<const Field> fields) const
{
    if (fields.size() != _keys.size())
        return false;
    const char *const *known = _keys.data();
    for (const Field &f : fields) {
        // One call site passes the same literals every time: the pointers match.
        if (f.key != *known && std::strcmp(f.key, *known) != 0)
            return false;
        ++known;
    }
    return true;
}

QVariantMap RecordShape::make(std::span<Field> fields) const
{
    std::call_once(_learned, [&] {
        _shape = byKey(fields);
        for (QVariant &value : _shape)
            value = QVariant();
        _fieldOfKey.resize(size_t(_shape.size()));
        size_t index = 0;
        for (const Field &f : fields) {
            _keys.push_back(f.key);
            const auto at = _shape.constFind(QString::fromLatin1(f.key));
            _fieldOfKey[size_t(std::distance(_shape.cbegin(), at))] = index++;
        }
    });
    if (!fits(fields))
        return byKey(fields);
    QVariantMap m = _shape;
    m.detach();
    auto slot = _fieldOfKey.cbegin();
    for (auto it = m.begin(); it != m.end(); ++it)
        *it = std::move(fields[*slot++].value);
    return m;
}

} // namespace corvane
