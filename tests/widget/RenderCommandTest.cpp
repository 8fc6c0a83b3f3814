// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetStyle.h"
#include "WidgetTestSupport.h"
#include "support/Corvanectl.h"
#include "support/Fields.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane::widget;
using namespace corvane::widget::test;
using corvane::test::CliRun;

namespace {

CliRun runWidget(const QStringList &arguments)
{
    return corvane::test::runProcess(QStringLiteral(CORVANE_BINARY_DIR "/widget/corvane-widget"), arguments,
                                     QProcessEnvironment::systemEnvironment());
}

} // namespace

TEST(WidgetRenderCommand, WritesOnePngPerSizeAndNeverABrokenOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString data = dir.filePath(QStringLiteral("data.json"));
    ASSERT_TRUE(corvane::test::writeFile(data, drivesJson(QStringList(5, QStringLiteral("Warning")))));
    const struct { const char *size; int width, height, badges; } sizes[] = {
        {"small", 170, 170, 1}, {"medium", 364, 170, 3}, {"large", 364, 382, 5}};
    for (const auto &s : sizes) {
        SCOPED_TRACE(s.size);
        const QString out = dir.filePath(QStringLiteral("%1.png").arg(QLatin1String(s.size)));
        const CliRun run = runWidget({"--data", data, "--appearance", "dark", "--render", s.size, out});
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
        const QImage image(out);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(s.width, s.height));
        EXPECT_EQ(colourBlobs(image, statusColor("Warning", Appearance::Dark)).size(), s.badges);
    }
    const CliRun twice = runWidget({"--data", data, "--render", "small", dir.filePath("x2.png"), "--scale", "2"});
    ASSERT_EQ(twice.exitCode, 0);
    EXPECT_EQ(QImage(dir.filePath("x2.png")).size(), QSize(340, 340));

    // Bad requests leave a good picture alone.
    const QString good = dir.filePath(QStringLiteral("small.png"));
    const auto contents = [&] { QFile f(good); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); };
    const QByteArray before = contents();
    EXPECT_EQ(runWidget({"--data", data, "--render", "huge", good}).exitCode, 2);
    EXPECT_EQ(runWidget({"--data", data, "--render", "small", good, "--scale", "-1"}).exitCode, 2);
    EXPECT_EQ(runWidget({"--data", data, "--render", "small", good, "--appearance", "pink"}).exitCode, 2);
    EXPECT_EQ(runWidget({"--data", data, "--render", "small"}).exitCode, 2);
    const CliRun unwritable = runWidget({"--data", data, "--render", "small", dir.filePath("no/such/dir/x.png")});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.err.contains("cannot write"));
    EXPECT_EQ(contents(), before);

    // No data: the empty widget with its notice, and a word on standard error.
    const CliRun missing = runWidget({"--data", dir.filePath("absent.json"), "--render", "medium", dir.filePath("none.png")});
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_TRUE(missing.err.contains("no drive data"));
    EXPECT_FALSE(QImage(dir.filePath("none.png")).isNull());
}
