// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetPainter.h"
#include "WidgetTestSupport.h"
#include "support/Golden.h"

#include <QPainter>
#include <numeric>
#include <gtest/gtest.h>

using namespace corvane::widget;
using namespace corvane::widget::test;

namespace {

const QStringList kAllWords = {"Passed", "Warning", "Failed", "-", "passed", ""};

// Pixels of `colour` inside the round badge (its corners show the icon below).
int badgePixels(const QImage &image, const QRectF &badge, const QColor &colour)
{
    int count = 0;
    const QPointF c = badge.center();
    for (int y = int(badge.top()); y < int(badge.bottom()) + 1; ++y)
        for (int x = int(badge.left()); x < int(badge.right()) + 1; ++x)
            if (QLineF(c, QPointF(x + 0.5, y + 0.5)).length() < badge.width() / 2 - 1
                && near(image.pixel(x, y), colour, 30))
                ++count;
    return count;
}

QRect inkBounds(const QImage &image, const QRect &area, const QColor &ink)
{
    QRect bounds;
    for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y)
        for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x)
            if (near(image.pixel(x, y), ink, 60))
                bounds = bounds.united(QRect(x, y, 1, 1));
    return bounds;
}

} // namespace

TEST(WidgetRender, TilesPerFamilyInRowsOfThree)
{
    struct Case { WidgetFamily family; int drives; QList<int> rows; };
    const Case cases[] = {
        {WidgetFamily::Small, 5, {1}},  {WidgetFamily::Medium, 5, {3}}, {WidgetFamily::Small, 1, {1}},
        {WidgetFamily::Large, 5, {3, 2}}, {WidgetFamily::Large, 10, {3, 3, 3}},
        {WidgetFamily::Large, 7, {3, 3, 1}}, {WidgetFamily::Large, 0, {0}},
        {WidgetFamily::Medium, 2, {2}},
    };
    const auto rect = [](const QRectF &r) {
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    QString layout;
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(QStringLiteral("%1 with %2").arg(familyName(c.family)).arg(c.drives)));
        EXPECT_EQ(rowSizes(c.family, c.drives), c.rows);
        const WidgetGeometry g = layoutWidget(c.family, c.drives, 16);
        layout += QStringLiteral("%1, %2 drives: canvas %3x%4, mark %5\n")
                      .arg(familyName(c.family)).arg(c.drives).arg(g.canvas.width()).arg(g.canvas.height()).arg(rect(g.mark));
        for (const RowGeometry &row : g.rows) {
            layout += QStringLiteral("  row %1\n").arg(rect(row.rect));
            for (const TileGeometry &t : row.tiles)
                layout += QStringLiteral("    tile %1, icon %2, badge %3, name %4\n")
                              .arg(rect(t.tile), rect(t.icon), rect(t.badge), rect(t.name));
        }

        // Count what is painted: one red badge per shown drive, in rows that line up.
        const DriveEntry entry = entryOf(QStringList(c.drives, QStringLiteral("Failed")));
        const QImage image = renderEntry(entry, c.family, Appearance::Light).convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(image.size(), familyCanvasSize(c.family));
        const QList<QRect> badges = colourBlobs(image, statusColor("Failed", Appearance::Light));
        const int shown = std::accumulate(c.rows.begin(), c.rows.end(), 0);
        ASSERT_EQ(badges.size(), shown);
        QMap<int, int> perRow; // badge centre line -> badges on it
        for (const QRect &b : badges) {
            EXPECT_TRUE(image.rect().contains(b) && b.width() <= 20);
            ++perRow[b.center().y() / 10];
        }
        EXPECT_EQ(shown ? perRow.values() : QList<int>{0}, c.rows);
    }
    corvane::test::expectGolden(QStringLiteral("widget-layout.txt"), layout.toUtf8());
}

TEST(WidgetRender, BadgeColourFollowsTheHealthWord)
{
    for (Appearance appearance : {Appearance::Light, Appearance::Dark}) {
        SCOPED_TRACE(appearance == Appearance::Light ? "light" : "dark");
        const DriveEntry entry = entryOf(kAllWords);
        const QImage image = renderEntry(entry, WidgetFamily::Large, appearance).convertToFormat(QImage::Format_ARGB32);
        const QList<TileGeometry> tiles = allTiles(layoutEntry(entry, WidgetFamily::Large));
        ASSERT_EQ(tiles.size(), kAllWords.size());
        for (int i = 0; i < tiles.size(); ++i) {
            const QString word = kAllWords.at(i);
            SCOPED_TRACE(qPrintable(QStringLiteral("word '%1'").arg(word)));
            // Matched exactly: "passed" and the empty word are "any other".
            const QColor expected = statusColor(word, appearance);
            EXPECT_GT(badgePixels(image, tiles.at(i).badge, expected), 12);
            for (const QString other : {"Passed", "Warning", "Failed", "-"})
                EXPECT_TRUE(statusColor(other, appearance) == expected
                            || badgePixels(image, tiles.at(i).badge, statusColor(other, appearance)) == 0) << qPrintable(other);
            const QPointF inCapsule = tiles.at(i).badge.center() + QPointF(6, -6);
            EXPECT_TRUE(near(image.pixel(inCapsule.toPoint()),
                             WidgetColors::forAppearance(appearance).widgetBackground, 12));
        }
    }
    EXPECT_EQ(statusImageName(statusImage("Passed")), "checkmark.circle");
    EXPECT_EQ(statusImageName(statusImage("Warning")), "exclamationmark.triangle");
    EXPECT_EQ(statusImageName(statusImage("Failed")), "xmark.circle");
}

TEST(WidgetRender, NamesStayOnOneLineWithinTheirBox)
{
    const QString longName = QStringLiteral("An Extremely Long Volume Name That Never Ends Here");
    const WidgetColors colors = WidgetColors::forAppearance(Appearance::Light);
    const qreal lineHeight = QFontMetricsF(nameFont()).height();

    DriveEntry single = entryOf({"Passed"});
    single.drives[0].volName = longName;
    QImage image = renderEntry(single, WidgetFamily::Small, Appearance::Light).convertToFormat(QImage::Format_ARGB32);
    const TileGeometry t = layoutEntry(single, WidgetFamily::Small).rows.first().tiles.first();
    const QRect below(0, int(t.icon.bottom()) + 1, image.width(), image.height() - int(t.icon.bottom()) - 30);
    const QRect ink = inkBounds(image, below, colors.text);
    ASSERT_TRUE(ink.isValid());
    EXPECT_TRUE(ink.width() <= 120 && ink.width() > 90) << ink.width(); // cut, not dropped
    EXPECT_TRUE(ink.height() <= lineHeight + 1 && ink.left() >= int(t.name.left()) && ink.right() <= int(t.name.right()) + 1);

    // Medium: long names side by side never reach into each other. Each is drawn
    // alone (the others have empty names) and the ink extents compared.
    QList<QRect> inks;
    for (int i = 0; i < 3; ++i) {
        DriveEntry three = entryOf({"Passed", "Warning", "Failed"});
        for (SMARTDrive &d : three.drives)
            d.volName = QStringLiteral(" - Data"); // shows as an empty name
        three.drives[i].volName = longName;
        image = renderEntry(three, WidgetFamily::Medium, Appearance::Light).convertToFormat(QImage::Format_ARGB32);
        const QRectF name = layoutEntry(three, WidgetFamily::Medium).rows.first().tiles.at(i).name;
        inks << inkBounds(image, QRect(0, int(name.top()), image.width(), int(lineHeight) + 2), colors.text);
        ASSERT_TRUE(inks.last().isValid()) << i;
        EXPECT_LE(inks.last().height(), lineHeight + 1);
    }
    EXPECT_LT(inks.at(0).right(), inks.at(1).left());
    EXPECT_LT(inks.at(1).right(), inks.at(2).left());
}

TEST(WidgetRender, EmptyAndMissingData)
{
    const WidgetColors colors = WidgetColors::forAppearance(Appearance::Dark);
    DriveEntry empty;
    QImage image = renderEntry(empty, WidgetFamily::Large, Appearance::Dark).convertToFormat(QImage::Format_ARGB32);
    const QRectF mark = layoutEntry(empty, WidgetFamily::Large).mark;
    EXPECT_FALSE(inkBounds(image, QRect(0, 0, image.width(), int(mark.top()) - 1), colors.text).isValid());
    EXPECT_TRUE(near(image.pixel(image.width() / 2, 2), colors.widgetBackground, 8));
    EXPECT_TRUE(near(image.pixel(image.width() / 2, image.height() - 3), colors.darkerBackground, 8));
    for (const char *word : {"Passed", "Warning", "Failed", "-"})
        EXPECT_TRUE(colourBlobs(image, statusColor(word, Appearance::Dark)).isEmpty());
    bool markInk = false;
    for (int y = int(mark.top()); y < int(mark.bottom()); ++y)
        for (int x = int(mark.left()); x < int(mark.right()); ++x)
            markInk = markInk || !near(image.pixel(x, y), image.pixel(int(mark.left()) - 4, y), 10);
    EXPECT_TRUE(markInk);
    // Transparent outside the rounded corners.
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);

    // No data: a single line in the middle of every family.
    empty.notice = QLatin1String(kNoDataNotice);
    for (WidgetFamily family : kSupportedFamilies) {
        image = renderEntry(empty, family, Appearance::Dark).convertToFormat(QImage::Format_ARGB32);
        const QRect ink = inkBounds(image, image.rect(), colors.text);
        ASSERT_TRUE(ink.isValid());
        EXPECT_NEAR(ink.center().y(), image.height() / 2, 4);
        EXPECT_TRUE(ink.height() <= 16 && ink.left() >= 8 && ink.right() <= image.width() - 8);
    }
}

TEST(WidgetRender, HiddenWorseDriveTakesOverTheCornerMark)
{
    struct Case { QStringList healths; int shown; std::optional<HiddenAlert> alert; };
    const Case cases[] = {
        {{"Passed", "Failed", "Warning", "Passed"}, 1, HiddenAlert{"Failed", 3}},
        {{"Passed", "Failed", "Warning", "Passed"}, 3, std::nullopt},
        {{"Passed", "Passed", "Passed", "Warning"}, 3, HiddenAlert{"Warning", 1}},
        {{"Warning", "Failed"}, 1, HiddenAlert{"Failed", 1}}, {{"Failed", "Warning"}, 1, std::nullopt},
        {{"Warning", "Warning"}, 1, std::nullopt}, {{"Passed", "-"}, 1, std::nullopt}, {{"Passed"}, 1, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.healths.join(u',') + QStringLiteral(" / %1 shown").arg(c.shown)));
        const auto alert = hiddenAlert(entryOf(c.healths), c.shown);
        ASSERT_EQ(alert.has_value(), c.alert.has_value());
        EXPECT_TRUE(!alert || (alert->health == c.alert->health && alert->hiddenCount == c.alert->hiddenCount));
    }

    // Drawn: a small widget showing a green drive while a Failed one is hidden
    // has a red mark in its corner; with only healthier hidden drives, none.
    const QColor red = statusColor("Failed", Appearance::Light);
    const DriveEntry hidesFailed = entryOf({"Passed", "Passed", "Failed"});
    const QList<QRect> blobs = colourBlobs(renderEntry(hidesFailed, WidgetFamily::Small, Appearance::Light), red);
    ASSERT_EQ(blobs.size(), 1);
    EXPECT_TRUE(layoutEntry(hidesFailed, WidgetFamily::Small).mark.adjusted(-40, -2, 2, 2).contains(QRectF(blobs.first())));
    EXPECT_EQ(colourBlobs(renderEntry(entryOf({"Failed", "Passed"}), WidgetFamily::Small, Appearance::Light), red).size(), 1);
    EXPECT_EQ(colourBlobs(renderEntry(hidesFailed, WidgetFamily::Medium, Appearance::Light), red).size(), 1);
}
