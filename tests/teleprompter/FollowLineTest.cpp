#include "teleprompter/PrompterFont.h"
#include "views/teleprompter/FollowLine.h"

#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QString shalom = QStringLiteral("שלום");
const QString jerusalem = QStringLiteral("ירושלים");

TEST(FollowLineTest, ShrinksToEightTenthsThenCutsUnlessItIsOneWord)
{
    struct Row {
        double natural, width;
        bool singleWord;
        FollowLine::Fit fit;
    };
    const std::vector<Row> rows{
        {500, 600, false, {1, false}},
        {600, 600, false, {1, false}},
        {750, 600, false, {0.8, false}},
        {700, 560, true, {0.8, false}},
        {800, 600, false, {0.8, true}},
        {1200, 600, true, {0.5, false}},
        {0, 600, false, {1, false}},
        {500, 0, false, {1, false}},
    };
    for (const Row& row : rows) {
        const FollowLine::Fit fit = FollowLine::fit(row.natural, row.width, row.singleWord);
        EXPECT_DOUBLE_EQ(fit.scale, row.fit.scale) << row.natural << " in " << row.width;
        EXPECT_EQ(fit.cut, row.fit.cut) << row.natural << " in " << row.width;
    }
}

TEST(FollowLineTest, ALongLineIsCutAtTheEndAndALongWordShrinksWhole)
{
    const QFont font = prompterFont(54, QFont::Medium, 0.27);
    const QStringList caps = QStringLiteral("WHEN WE WALK WE WAVE AT EVERY WINDOW").split(u' ');
    const FollowLine cut(caps, 2, font, 300, Qt::black, Qt::gray);
    EXPECT_TRUE(cut.text().endsWith(QChar(0x2026))) << cut.text().toStdString();
    EXPECT_TRUE(caps.join(u' ').startsWith(cut.text().chopped(1)));
    EXPECT_DOUBLE_EQ(cut.scale(), FollowLine::smallestScale);
    EXPECT_LE(cut.width(), 300);

    const QString word = QStringLiteral("Pneumonoultramicroscopicsilicovolcanoconiosis");
    const FollowLine whole({word}, 0, font, 300, Qt::black, Qt::gray);
    EXPECT_EQ(whole.text(), word);
    EXPECT_LT(whole.scale(), FollowLine::smallestScale);
    EXPECT_NEAR(whole.width(), 300, 0.5);

    const FollowLine fits(QStringLiteral("We say hello").split(u' '), 0, font, 600, Qt::black, Qt::gray);
    EXPECT_EQ(fits.scale(), 1);
    EXPECT_EQ(fits.text(), QStringLiteral("We say hello")) << "the last word has no space after it";
}

// The read words are dimmed where they stand, also in a right-to-left line: the first Hebrew word,
// already read, is the pale one at the right.
TEST(FollowLineTest, ReadWordsAreDimmedWhereTheyStand)
{
    const QFont font = prompterFont(40, QFont::Medium, 0.2);
    const FollowLine line({shalom, jerusalem}, 1, font, 600, QColor(0, 0, 0), QColor(0, 0, 0, 128));
    QImage drawn(620, 60, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    painter.setRenderHint(QPainter::TextAntialiasing);
    line.paint(painter, QRectF(0, 0, 600, 60));
    painter.end();
    // Each column's darkest pixel; the words are the inked stretches split at the widest gap.
    std::vector<int> darkest(static_cast<size_t>(drawn.width()), 0);
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            darkest[static_cast<size_t>(x)] = std::max(darkest[static_cast<size_t>(x)], qAlpha(drawn.pixel(x, y)));
    int gapStart = 0, gapEnd = 0, lastInk = -1;
    for (int x = 0; x < drawn.width(); ++x) {
        if (darkest[static_cast<size_t>(x)] < 30)
            continue;
        if (lastInk >= 0 && x - lastInk > gapEnd - gapStart) {
            gapStart = lastInk;
            gapEnd = x;
        }
        lastInk = x;
    }
    ASSERT_GT(gapEnd - gapStart, 8);
    const int darkestLeft = *std::max_element(darkest.begin(), darkest.begin() + gapStart + 1);
    const int darkestRight = *std::max_element(darkest.begin() + gapEnd, darkest.end());
    EXPECT_GT(darkestLeft, 240) << "the word still to read is in full ink";
    EXPECT_LT(darkestRight, 140) << "the word read is at half";
    EXPECT_GT(darkestRight, 100);
}

} // namespace
