#include "InkRuns.h"
#include "teleprompter/PrompterFont.h"
#include "views/teleprompter/FollowLine.h"

#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(FollowLineTest, ShrinksToEightTenthsThenCutsUnlessItIsOneWord)
{
    struct Row {
        double natural, width;
        bool singleWord;
        FollowLine::Fit fit;
    };
    const std::vector<Row> rows{
        {600, 600, false, {1, false}},
        {750, 600, false, {0.8, false}},
        {800, 600, false, {0.8, true}},
        {1200, 600, true, {0.5, false}},
        {500, 0, false, {1, false}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FollowLine::fit(row.natural, row.width, row.singleWord), row.fit) << row.natural << " in " << row.width;

    const QFont font = prompterFont(54, QFont::Medium, 0.27);
    const QStringList caps = QStringLiteral("WHEN WE WALK WE WAVE AT EVERY WINDOW").split(u' ');
    const FollowLine cut(caps, 2, font, 300, Qt::black, Qt::gray);
    EXPECT_TRUE(cut.text().endsWith(QChar(0x2026)) && caps.join(u' ').startsWith(cut.text().chopped(1))) << cut.text().toStdString();
    EXPECT_LE(cut.width(), 300);
    const QString word = QStringLiteral("Pneumonoultramicroscopicsilicovolcanoconiosis");
    const FollowLine whole({word}, 0, font, 300, Qt::black, Qt::gray);
    EXPECT_EQ(whole.text(), word);
    EXPECT_NEAR(whole.width(), 300, 0.5);
}

// A line that begins with Hebrew words keeps its card's direction: in an English card the English word
// follows them at the right; in a Hebrew card it stands at the left. The read word is dimmed where it stands.
TEST(FollowLineTest, ALineReadsInItsCardsDirectionAndDimsTheWordsRead)
{
    const QFont font = prompterFont(40, QFont::Medium, 0.2);
    const QFontMetricsF metrics(font);
    const QStringList line{QStringLiteral("שלום"), QStringLiteral("ירושלים"), QStringLiteral("ok")};
    const auto shown = [&](Qt::LayoutDirection direction) {
        QImage image(620, 60, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        FollowLine(line, 1, font, 600, Qt::black, QColor(0, 0, 0, 128), direction).paint(painter, QRectF(0, 0, 600, 60));
        // Each drawn word, named by its width, with a star when it is at half ink.
        QStringList words;
        for (const auto& [left, right] : inkRuns(image, 0, 60, 10, [](QRgb pixel) { return qAlpha(pixel) >= 30; })) {
            const auto width = [&](const QString& word) { return std::abs(metrics.tightBoundingRect(word).width() - (right - left + 1)); };
            int darkest = 0;
            for (int y = 0; y < 60; ++y)
                for (int x = left; x <= right; ++x)
                    darkest = std::max(darkest, qAlpha(image.pixel(x, y)));
            words << *std::min_element(line.begin(), line.end(), [&](const QString& a, const QString& b) { return width(a) < width(b); })
                    + (darkest < 140 ? QStringLiteral("*") : QString());
        }
        return words.join(u'|').toStdString();
    };
    EXPECT_EQ(shown(Qt::LeftToRight), QStringLiteral("%1|%2*|ok").arg(line[1], line[0]).toStdString());
    EXPECT_EQ(shown(Qt::RightToLeft), QStringLiteral("ok|%1|%2*").arg(line[1], line[0]).toStdString());
}

} // namespace
