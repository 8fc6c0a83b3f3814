// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/RecordShape.h"

#include <cstring>
#include <iterator>
#include <new>

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
        for (const Field &f : fields)
            _shape.insert_or_assign(QString::fromLatin1(f.key), QVariant());
        _fieldOfKey.resize(_shape.size());
        size_t index = 0;
        for (const Field &f : fields) {
            _keys.push_back(f.key);
            const auto at = _shape.find(QString::fromLatin1(f.key));
            _fieldOfKey[size_t(std::distance(_shape.begin(), at))] = index++;
        }
    });
    if (!fits(fields))
        return byKey(fields);
    // The copy's values are null variants, which own nothing: each value is
    // built in its place without destroying the null one first. The walk is
    // on the std::map itself, as every non-const QMap call checks for sharing.
    std::map<QString, QVariant> m = _shape;
    auto slot = _fieldOfKey.cbegin();
    for (auto &[key, value] : m)
        new (&value) QVariant(std::move(fields[*slot++].value));
    return QVariantMap(std::move(m));
}

} // namespace corvane
