// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl history on a history generated from the demo set.
#include "support/Corvanectl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using corvane::test::Cli;
using corvane::test::CliRun;

TEST(HistoryCommand, PrintsTheSeriesOfADriveByNameOrIdentity)
{
    const Cli cli;
    const QString demo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");
    QTemporaryDir dir;
    const QString file = dir.filePath("history.sqlite");
    const QStringList generate{"history-generate", "--recorded", demo, "--days",
                               "2", "--end", "2026-12-01T12:00:00Z", file};
    const CliRun made = cli.run(generate);
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    EXPECT_EQ(made.out, file.toUtf8() + ": 8 drives, 49 samples each\n");
    // Never over an existing file.
    EXPECT_EQ(cli.run(generate).exitCode, 1);

    const CliRun json = cli.run({"history", "--json", "--file", file, "/dev/sdb"});
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    const QJsonArray series = QJsonDocument::fromJson(json.out).array();
    ASSERT_EQ(series.size(), 49);
    const QJsonObject first = series.first().toObject(), last = series.last().toObject();
    EXPECT_EQ(first.value("time").toString(), "2026-11-29T12:00:00Z");
    EXPECT_EQ(first.value("health").toString(), "Passed");
    EXPECT_EQ(first.value("reallocated").toInt(), 0);
    EXPECT_EQ(last.value("time").toString(), "2026-12-01T12:00:00Z");
    EXPECT_EQ(last.value("health").toString(), "Warning");
    EXPECT_EQ(last.value("bsdName").toString(), "sdb");
    EXPECT_EQ(last.value("reallocated").toInt(), 63);
    EXPECT_EQ(last.value("powerOnHours").toInt() - first.value("powerOnHours").toInt(), 48);
    EXPECT_FALSE(last.contains("mediaErrors"));
    const QString identity = last.value("drive").toString();
    EXPECT_EQ(identity, "WDC WD5000AAKS-00TMA0|WD-WCAPW0493929");

    const CliRun text = cli.run({"history", "--since", "2026-12-01T00:00:00Z", "--file", file, identity});
    ASSERT_EQ(text.exitCode, 0) << text.err.constData();
    const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + 13);
    EXPECT_EQ(lines[0], "sdb: WDC WD5000AAKS-00TMA0, serial WD-WCAPW0493929, 13 samples");
    EXPECT_EQ(lines[1].simplified(), QStringLiteral("Time Name Health Temperature (°C) Power-on hours (h) Reallocated sectors "
                                                    "Pending sectors Offline uncorrectable CRC errors"));
    EXPECT_TRUE(lines.last().simplified().contains(" sdb Warning ")) << qPrintable(lines.last());

    // Nothing recorded: said, with what there is.
    const CliRun none = cli.run({"history", "--file", file, "sdz"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.startsWith("corvanectl history: no history for 'sdz'; drives with history: ")) << none.err.constData();
    const CliRun fresh = cli.run({"history", "sda"});
    EXPECT_EQ(fresh.exitCode, 1);
    EXPECT_TRUE(fresh.err.contains("no history has been recorded yet")) << fresh.err.constData();
    const CliRun badDate = cli.run({"history", "--since", "yesterday", "sda"});
    EXPECT_EQ(badDate.exitCode, 2);
    EXPECT_TRUE(badDate.err.startsWith("corvanectl history: --since: 'yesterday' is not a date")) << badDate.err.constData();
}
