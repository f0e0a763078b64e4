#include "InkRuns.h"
#include "support/TestEnvironment.h"
#include "teleprompter/CardLettering.h"
#include "teleprompter/PrompterFont.h"
#include "teleprompter/PrompterLayout.h"
#include "teleprompter/TeleprompterModel.h"
#include "teleprompter/TeleprompterScript.h"
#include "views/teleprompter/AutoPageColumn.h"
#include "views/teleprompter/FollowPage.h"

#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

const QString longWord = QStringLiteral("Pneumonoultramicroscopicsilicovolcanoconiosis");
const QString shalom = QStringLiteral("שלום");
const QString jerusalem = QStringLiteral("ירושלים");

// The cream page's ink, also on cards drawn faded after the focus.
bool isInk(QRgb pixel) { return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 150; }

class PrompterPageTextTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        model = std::make_unique<TeleprompterModel>(*settings);
        model->setMode(PrompterMode::follow);
        model->setBgOpacity(1);
    }
    QImage followPage(QSize size)
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        shift = page.targetShift(size, *model);
        page.paint(painter, size, *model, shift);
        return image;
    }
    // The vertical middle of a spoken card's line on the page last drawn.
    double lineMiddle(QSize size, int card, int line) const
    {
        const PrompterLayout layout = PrompterLayout::build(model->follower().boxes(), model->fontSize(), FollowPage::Metrics::of(size, model->fontSize()).columnWidth);
        const BoxLayout& box = layout.boxes[static_cast<size_t>(card)];
        return shift + box.y + box.head + layout.lineHeight * (line + 0.5);
    }
    std::unique_ptr<TeleprompterModel> model;
    FollowPage page;
    double shift = 0;
};

TEST_F(PrompterPageTextTest, AFollowLineNeverRunsPastItsColumn)
{
    const QSize size(780, 600);
    model->setFontSize(54);
    model->setText(longWord + QStringLiteral("\n\nTHE QUICK BROWN FOX JUMPS OVER THE LAZY DOG WHILE THE WORLD WATCHES"));
    ASSERT_EQ(model->follower().boxes().size(), 2u);
    const FollowPage::Metrics m = FollowPage::Metrics::of(size, 54);
    const int columnLeft = 18 + 5 + 15;
    const int columnRight = columnLeft + static_cast<int>(m.columnWidth);
    for (int focus : {0, 1}) {
        const QImage drawn = followPage(size);
        for (int x = columnRight + 2; x < size.width(); ++x)
            ASSERT_FALSE(inkedColumn(drawn, x, 0, size.height(), isInk)) << "focus " << focus << ": ink at x " << x << " right of the column";
        model->stepBox(1);
    }

    // The long word is shrunk to the column's width, whole: its ink spans nearly all of it.
    model->restart();
    const QImage drawn = followPage(size);
    const int middle = static_cast<int>(lineMiddle(size, 0, 0));
    const auto word = inkRuns(drawn, middle - 15, middle + 15, 0.2 * 54, isInk);
    ASSERT_EQ(word.size(), 1u);
    EXPECT_NEAR(word.front().first, columnLeft, 6);
    EXPECT_GT(word.front().second, columnLeft + 0.95 * m.columnWidth);
}

TEST_F(PrompterPageTextTest, HebrewWordsKeepTheirOrderAndOneSpaceBetweenWords)
{
    const QSize size(780, 400);
    model->setFontSize(40);
    model->setText(QStringLiteral("We say %1 world\n\nWe say %1 %2 today").arg(shalom, jerusalem));
    ASSERT_EQ(model->follower().boxes().size(), 2u);
    const QFont font = prompterFont(40, QFont::Medium, 0.2);
    ASSERT_TRUE(QFontMetricsF(font).inFont(shalom.front())) << "a font with Hebrew letters is needed (scripts/deps.sh)";
    const double space = QFontMetricsF(font).horizontalAdvance(u' ');
    const QImage drawn = followPage(size);
    // The words of a card's first line; ink gaps between words are a space and the letters' side bearings,
    // gaps inside a word are narrower. One space stands between words, not two and not none.
    const auto firstLine = [&](int card) {
        const int middle = static_cast<int>(lineMiddle(size, card, 0));
        const auto runs = inkRuns(drawn, middle - 14, middle + 14, space, isInk);
        for (size_t i = 1; i < runs.size(); ++i)
            EXPECT_LT(runs[i].first - runs[i - 1].second, 2 * space) << "card " << card << ", word " << i;
        return runs;
    };
    EXPECT_EQ(firstLine(0).size(), 4u) << "We | say | " << shalom.toStdString() << " | world";
    // Two Hebrew words in a row read right to left: the first, shorter one stands at the right.
    const auto hebrew = firstLine(1);
    ASSERT_EQ(hebrew.size(), 5u) << "We | say | " << jerusalem.toStdString() << " | " << shalom.toStdString() << " | today";
    EXPECT_GT(hebrew[2].second - hebrew[2].first, hebrew[3].second - hebrew[3].first + 0.5 * space);
    EXPECT_NEAR(hebrew[0].first, 18 + 5 + 15, 6) << "the line starts at the column's left edge";
}

// An action card's ink is black (its label black at 0.6) on yellow; an orb card's is its green, far greener
// than the card's tint.
bool isActionInk(QRgb pixel) { return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 130; }
bool isOrbInk(QRgb pixel) { return qGreen(pixel) - qRed(pixel) > 25; }

TEST_F(PrompterPageTextTest, ActionAndOrbCardsKeepTheirTextOnTheCardWithinTheirLines)
{
    const QSize size(700, 900);
    model->setStyle(TeleprompterScript::Style::mixed);
    const QStringList texts{longWord, QStringLiteral("THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG WHILE THE WHOLE WORLD WATCHES AND WAITS"),
        QStringLiteral("Open the settings window, choose the export tab, pick the preset called studio master, then drag the quality "
                       "slider all the way to the right before you press the big green button at the bottom of the panel and wait")};
    struct Kind {
        const char* name;
        QString before, after;
        bool (*ink)(QRgb);
        int maxLines;
    };
    const Kind kinds[] = {{"action", QStringLiteral("SHOW "), QString(), isActionInk, 4}, {"orb", QStringLiteral("[ORB] "), QStringLiteral(" [/ORB]"), isOrbInk, 3}};
    for (const Kind& kind : kinds) {
        for (double fontSize : {29.8, 54.0}) {
            for (const QString& text : texts) {
                const std::string what = std::string(kind.name) + " at " + std::to_string(fontSize) + ": " + text.left(20).toStdString();
                model->setFontSize(fontSize);
                model->setText(kind.before + text + kind.after);
                ASSERT_EQ(model->follower().boxes().size(), 1u) << what;
                const double columnWidth = FollowPage::Metrics::of(size, fontSize).columnWidth;
                const BoxLayout box = PrompterLayout::build(model->follower().boxes(), fontSize, columnWidth).boxes[0];
                // The card is drawn 60 points down, clear of the fade at the page's top.
                QImage drawn(size, QImage::Format_ARGB32_Premultiplied);
                drawn.fill(Qt::white);
                QPainter painter(&drawn);
                page.paint(painter, size, *model, 60 - box.y);
                painter.end();
                const QRect card = QRectF(18 + 5, 60, columnWidth + 20, box.cardHeight).toAlignedRect();
                // Rows of ink apart from each other are the label or heading, then one line of text each.
                int outside = 0, bands = 0;
                bool lastRowInked = false;
                for (int y = 0; y < size.height(); ++y) {
                    bool rowInked = false;
                    for (int x = 0; x < size.width(); ++x) {
                        const bool ink = kind.ink(drawn.pixel(x, y));
                        outside += ink && !card.contains(x, y);
                        rowInked = rowInked || (ink && card.contains(x, y));
                    }
                    bands += rowInked && !lastRowInked;
                    lastRowInked = rowInked;
                }
                EXPECT_EQ(outside, 0) << what << ": ink outside the card";
                EXPECT_GE(bands, 2) << what;
                EXPECT_LE(bands - 1, kind.maxLines) << what;
                // No letter is lost at the edges: each line the card draws fits its width; the long word is whole.
                const CardLettering lettering = CardLettering::of(model->follower().boxes()[0].kind.tag(), fontSize);
                const CardText shown = lettering.fit(text, columnWidth, box.cardHeight);
                for (const QString& line : shown.lines)
                    EXPECT_LE(QFontMetricsF(lettering.text).horizontalAdvance(line) * shown.scale, CardLettering::textWidth(columnWidth) + 0.01) << what;
                EXPECT_TRUE(text != longWord || shown.lines.join(QString()) == longWord) << what;
            }
        }
    }
}

// The auto page's text is white on the dark page.
bool isWhiteInk(QRgb pixel) { return qAlpha(pixel) > 60; }

TEST_F(PrompterPageTextTest, AnAutoPageWordLongerThanThePageBreaksInsideIt)
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
        const auto ink = inkRuns(drawn, 0, drawn.height(), 400, isWhiteInk);
        ASSERT_EQ(ink.size(), 1u);
        EXPECT_GE(ink.front().first, AutoPageColumn::sideInset - 2);
        EXPECT_LE(ink.front().second, 400 - AutoPageColumn::sideInset + 2);
        EXPECT_GT(column.height(), 2.5 * 54) << "the word goes on over several lines";
    }
}

} // namespace
