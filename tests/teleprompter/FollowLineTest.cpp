#include "InkRuns.h"
#include "teleprompter/PrompterFont.h"
#include "views/teleprompter/FollowLine.h"

#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QString shalom = QStringLiteral("שלום");
const QString jerusalem = QStringLiteral("ירושלים");

QImage drawn(const FollowLine& line)
{
    QImage image(620, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    line.paint(painter, QRectF(0, 0, 600, 60));
    return image;
}

// Each column's darkest ink.
std::vector<int> darkest(const QImage& image)
{
    std::vector<int> result(static_cast<size_t>(image.width()), 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            result[static_cast<size_t>(x)] = std::max(result[static_cast<size_t>(x)], qAlpha(image.pixel(x, y)));
    return result;
}

// The drawn words, left to right: inked stretches apart by more than `gap` pixels.
std::vector<std::pair<int, int>> words(const QImage& image, int gap)
{
    return inkRuns(image, 0, image.height(), gap, [](QRgb pixel) { return qAlpha(pixel) >= 30; });
}

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
    const QImage image = drawn(line);
    const auto runs = words(image, 10);
    ASSERT_EQ(runs.size(), 2u);
    const std::vector<int> ink = darkest(image);
    const int darkestLeft = *std::max_element(ink.begin() + runs[0].first, ink.begin() + runs[0].second + 1);
    const int darkestRight = *std::max_element(ink.begin() + runs[1].first, ink.begin() + runs[1].second + 1);
    EXPECT_GT(darkestLeft, 240) << "the word still to read is in full ink";
    EXPECT_LT(darkestRight, 140) << "the word read is at half";
    EXPECT_GT(darkestRight, 100);
}

// A line that begins with Hebrew words keeps its card's direction: in an English card the English word
// follows them at the right; in a Hebrew card it stands at the left, after them in reading order.
TEST(FollowLineTest, ALineReadsInItsCardsDirection)
{
    const QFont font = prompterFont(40, QFont::Medium, 0.2);
    const QFontMetricsF metrics(font);
    const QStringList line{shalom, jerusalem, QStringLiteral("ok")};
    // Which word a drawn stretch is, by its width.
    const auto named = [&](const std::pair<int, int>& run) {
        QString nearest;
        double best = 1e9;
        for (const QString& word : line) {
            const double difference = std::abs(metrics.tightBoundingRect(word).width() - (run.second - run.first + 1));
            if (difference < best) {
                best = difference;
                nearest = word;
            }
        }
        return nearest;
    };
    const auto order = [&](Qt::LayoutDirection direction) {
        QStringList shown;
        for (const auto& run : words(drawn(FollowLine(line, 0, font, 600, Qt::black, Qt::gray, direction)), 10))
            shown << named(run);
        return shown.join(u'|').toStdString();
    };
    EXPECT_EQ(order(Qt::LeftToRight), QStringList({jerusalem, shalom, QStringLiteral("ok")}).join(u'|').toStdString());
    EXPECT_EQ(order(Qt::RightToLeft), QStringList({QStringLiteral("ok"), jerusalem, shalom}).join(u'|').toStdString());
}

} // namespace
