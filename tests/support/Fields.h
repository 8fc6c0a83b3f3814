// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checks many entries of a map in one call, each as its text (6u, 6 and "6" agree, a missing
// key fails); lists and maps compare whole.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace corvane::test {

inline void expectFields(const QVariantMap &m, std::initializer_list<std::pair<const char *, QVariant>> want)
{
    for (const auto &[key, value] : want) {
        EXPECT_TRUE(m.contains(QLatin1String(key))) << key;
        const QVariant got = m.value(QLatin1String(key));
        if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QVariantMap)
            EXPECT_TRUE(got == value) << key;
        else
            EXPECT_EQ(got.toString().toStdString(), value.toString().toStdString()) << key;
    }
}

// Writes a whole file, making its folder; false when that fails.
inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return QDir().mkpath(QFileInfo(path).path()) && f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

} // namespace corvane::test
