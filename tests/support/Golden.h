// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Compares a whole output with a checked-in file under tests/data/golden. Run a test with
// CORVANE_UPDATE_GOLDEN=1 to rewrite its files instead: a deliberate change of output is then
// one command and a diff that a reviewer reads line by line. Outputs that name drawn logos need
// the corvane-logos target built first.
#include <QFile>
#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include "Fields.h"

namespace corvane::test {

inline void expectGolden(const QString &name, QByteArray actual)
{
    // Logo paths point into whichever build folder runs the test.
    if (sizeof(CORVANE_BUILD_DATA_DIR) > 1)
        actual.replace(CORVANE_BUILD_DATA_DIR, "<build>/share/corvane");
    const QString path = QStringLiteral(CORVANE_TEST_DATA "/golden/") + name;
    if (qEnvironmentVariableIntValue("CORVANE_UPDATE_GOLDEN") == 1) {
        EXPECT_TRUE(writeFile(path, actual)) << path.toStdString();
        return;
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString() << " (CORVANE_UPDATE_GOLDEN=1 writes it)";
    const QByteArray want = f.readAll();
    if (want == actual)
        return;
    const QList<QByteArray> w = want.split('\n'), a = actual.split('\n');
    qsizetype i = 0;
    while (i < w.size() && i < a.size() && w[i] == a[i])
        ++i;
    ADD_FAILURE() << name.toStdString() << ": first difference at line " << i + 1 << "\n  want: "
                  << (i < w.size() ? w[i].toStdString() : "<end>") << "\n  got:  "
                  << (i < a.size() ? a[i].toStdString() : "<end>");
}

// A decoded map or list, in the JSON form `corvanectl decode --json` prints.
inline void expectGoldenJson(const QString &name, const QVariant &value)
{
    expectGolden(name, QJsonDocument::fromVariant(value).toJson());
}

} // namespace corvane::test
