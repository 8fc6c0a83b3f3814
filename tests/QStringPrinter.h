// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Readable QString values in GoogleTest failure messages.
#include <QString>
#include <QVariant>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QVariant &v, std::ostream *os)
{
    *os << "QVariant(" << v.typeName() << ", " << v.toString().toStdString() << ')';
}
QT_END_NAMESPACE
