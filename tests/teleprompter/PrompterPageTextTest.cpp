#include "views/teleprompter/AutoPageColumn.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

const QString longWord = QStringLiteral("Pneumonoultramicroscopicsilicovolcanoconiosis");

bool inkedColumn(const QImage& image, int x, int top, int bottom, bool (*ink)(QRgb))
{
    for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y)
        if (ink(image.pixel(x, y)))
            return true;
    return false;
}

// The inked stretches of the rows [top, bottom), left to right, joined across gaps narrower than `gap`
// pixels: the words of one drawn line.
std::vector<std::pair<int, int>> words(const QImage& image, int top, int bottom, double gap, bool (*ink)(QRgb))
{
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.width(); ++x) {
        if (!inkedColumn(image, x, top, bottom, ink))
            continue;
        if (!runs.empty() && x - runs.back().second <= gap)
            runs.back().second = x;
        else
            runs.push_back({x, x});
    }
    return runs;
}

// The auto page's text is white on the dark page.
bool isWhiteInk(QRgb pixel) { return qAlpha(pixel) > 60; }

TEST(PrompterPageTextTest, AnAutoPageWordLongerThanThePageBreaksInsideIt)
{
    for (TeleprompterScript::Style style : {TeleprompterScript::Style::script, TeleprompterScript::Style::mixed}) {
        const QString text = style == TeleprompterScript::Style::script ? longWord : QStringLiteral("SAY ") + longWord;
        AutoPageColumn column;
        column.update({text, style, 54, 400});
        QImage drawn(400, static_cast<int>(column.height()) + 10, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        column.paint(painter, 0, drawn.rect());
        painter.end();
        const auto ink = words(drawn, 0, drawn.height(), 400, isWhiteInk);
        ASSERT_EQ(ink.size(), 1u);
        EXPECT_GE(ink.front().first, AutoPageColumn::sideInset - 2);
        EXPECT_LE(ink.front().second, 400 - AutoPageColumn::sideInset + 2);
        EXPECT_GT(column.height(), 2.5 * 54) << "the word goes on over several lines";
    }
}

} // namespace
