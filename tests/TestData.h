// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <span>

namespace corvane::test {

inline QString dataPath(const QString &relative)
{
    return QStringLiteral(CORVANE_TEST_DATA "/") + relative;
}

// The whole file, or an empty array when it is missing.
inline QByteArray readData(const QString &relative)
{
    QFile f(dataPath(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline std::span<const uint8_t> bytes(const QByteArray &a)
{
    return {reinterpret_cast<const uint8_t *>(a.constData()), size_t(a.size())};
}

} // namespace corvane::test
