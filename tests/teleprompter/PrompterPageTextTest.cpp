#include "InkRuns.h"
#include "SettledView.h"
#include "support/TestEnvironment.h"
#include "teleprompter/CardLettering.h"
#include "teleprompter/PrompterFont.h"
#include "teleprompter/PrompterLayout.h"
#include "teleprompter/PrompterPlacement.h"
#include "teleprompter/TeleprompterModel.h"
#include "teleprompter/TeleprompterScript.h"
#include "views/teleprompter/AutoPageColumn.h"
#include "views/teleprompter/FollowPage.h"
#include "views/teleprompter/TeleprompterView.h"

#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace {

const QString longWord = QStringLiteral("Pneumonoultramicroscopicsilicovolcanoconiosis");
const QString shalom = QStringLiteral("שלום");
const QString jerusalem = QStringLiteral("ירושלים");

// The cream page's ink, also on cards drawn faded after the focus.
bool isInk(QRgb pixel) { return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 150; }

int inkPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), image.height() - 1); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += isInk(image.pixel(x, y));
    return count;
}

const char* const vocabulary[] = {"the", "a", "and", "to", "of", "we", "you", "it", "is", "this", "that", "with", "record", "camera",
    "screen", "window", "studio", "light", "voice", "script", "video", "editor", "project", "folder", "timeline", "zoom", "click",
    "cursor", "frame", "layout", "backdrop", "bubble", "microphone", "audience", "channel", "lesson", "example", "feature", "button"};

// One sentence of `count` words with no stop in it: the whole script is one card.
QString unpunctuated(int count)
{
    QStringList words;
    uint32_t state = 7;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        words << QString::fromLatin1(vocabulary[(state >> 8) % std::size(vocabulary)]);
    }
    return words.join(u' ');
}

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
        shift = page.targetShift(size, *model);
        return drawn(page, size, shift);
    }
    // `on` painted at a shift over white: the page's rows from `fromRow`, `rows` of them (all when < 0).
    QImage drawn(FollowPage& on, QSizeF size, double at, int fromRow = 0, int rows = -1)
    {
        QImage image(static_cast<int>(size.width()), rows < 0 ? static_cast<int>(size.height()) : rows, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(0, -fromRow);
        on.paint(painter, size, *model, at);
        return image;
    }
    // The vertical middle of a spoken card's line on the page last drawn.
    double lineMiddle(QSize size, int card, int line) const
    {
        const PrompterLayout layout = PrompterLayout::build(model->follower().boxes(), model->fontSize(), FollowPage::Metrics::of(size, model->fontSize()).columnWidth);
        const BoxLayout& box = layout.boxes[static_cast<size_t>(card)];
        return shift + box.y + box.head + layout.lineHeight * (line + 0.5);
    }
    // The shift that puts line `line` of the first card on the reading line, or its middle line.
    double lineShift(FollowPage& on, QSizeF size, double line)
    {
        const PrompterLayout layout =
            PrompterLayout::build(model->follower().boxes(), model->fontSize(), FollowPage::Metrics::of(size, model->fontSize()).columnWidth);
        return on.targetShift(size, *model) - layout.lineHeight * std::floor(line);
    }
    double middleShift(FollowPage& on, QSizeF size)
    {
        const PrompterLayout layout =
            PrompterLayout::build(model->follower().boxes(), model->fontSize(), FollowPage::Metrics::of(size, model->fontSize()).columnWidth);
        return lineShift(on, size, static_cast<double>(layout.boxes.front().lines.size()) / 2);
    }
    std::unique_ptr<TeleprompterModel> model;
    FollowPage page;
    double shift = 0;
};

// The text column on a 780 × 300 page, below the fade at its top.
const QRect columnArea(38, 18, 720, 236);

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

TEST_F(PrompterPageTextTest, ALongSentenceAtTheSlidersTopShowsItsTextFromStartToMiddle)
{
    model->setText(unpunctuated(7000));
    ASSERT_EQ(model->follower().boxes().size(), 1u) << "the script is one card";
    model->setFontSize(54);
    TeleprompterView view(*model);
    view.resize(780, 300);
    EXPECT_GT(inkPixels(settledPicture(view), columnArea), 3000) << "the panel shows the card's first lines";

    const QSizeF size(780, 300);
    EXPECT_GT(inkPixels(drawn(page, size, page.targetShift(size, *model)), columnArea), 3000) << "at the start";
    EXPECT_GT(inkPixels(drawn(page, size, middleShift(page, size)), columnArea), 3000) << "in the middle";
}

TEST_F(PrompterPageTextTest, TheLargestKeptSizeShowsALongSentenceOnTheTallestPanel)
{
    model->setText(unpunctuated(7000));
    model->setFontSize(TeleprompterModel::largestDrawableFontSize);
    ASSERT_EQ(model->fontSize(), TeleprompterModel::largestDrawableFontSize);
    // A line is as tall as the tallest panel, so only that panel holds the reading line; the test looks at
    // the 1,200 rows around it.
    const QSizeF size(780, PrompterPlacement::largestCoordinate);
    const FollowPage::Metrics m = FollowPage::Metrics::of(size, model->fontSize());
    const int fromRow = static_cast<int>(m.lineY) - 600;
    const QRect around(38, 0, 720, 1200);
    EXPECT_GT(inkPixels(drawn(page, size, page.targetShift(size, *model), fromRow, 1200), around), 3000) << "at the start";
    EXPECT_GT(inkPixels(drawn(page, size, middleShift(page, size), fromRow, 1200), around), 3000) << "in the middle";
    // The page's pictures are pieces of the column's width, not the card's height.
    EXPECT_LT(page.largestCardPicture(), 8 * 1024 * 1024);
    EXPECT_LT(page.keptBytes(), 2 * size.width() * size.height() * 4);
}

TEST_F(PrompterPageTextTest, ScrollingThroughALongCardDrawsWhatAFreshPageDrawsWithinAFewPagesOfMemory)
{
    model->setText(unpunctuated(7000));
    model->setFontSize(54);
    const QSizeF size(780, 300);
    const double pageBytes = size.width() * size.height() * 4;
    qint64 mostKept = 0;
    // Forty lines down, a line in four steps (as the slide draws it), then back.
    const double start = page.targetShift(size, *model);
    const double lineHeight = TeleprompterModel::lineFactor * 54;
    QImage scrolled;
    for (int step = 0; step <= 160; ++step) {
        scrolled = drawn(page, size, std::round(start - step * lineHeight / 4));
        mostKept = std::max(mostKept, page.keptBytes());
    }
    // What a page that never drew another place draws there.
    const auto freshAt = [&](double lines) {
        FollowPage fresh;
        return drawn(fresh, size, std::round(start - lines * lineHeight));
    };
    EXPECT_EQ(scrolled, freshAt(40)) << "no piece of an earlier place is left on the page";
    EXPECT_GT(inkPixels(scrolled, columnArea), 3000);
    for (int step = 160; step >= 60; --step)
        scrolled = drawn(page, size, std::round(start - step * lineHeight / 4));
    EXPECT_EQ(scrolled, freshAt(15)) << "scrolled back";

    // A heard word is dimmed by drawing the card's pieces on the page again, not the whole card.
    const int before = page.cardRenders();
    QStringList firstWords;
    for (int i = 0; i < 3; ++i)
        firstWords << model->follower().boxes().front().words[static_cast<size_t>(i)].text;
    model->hear(firstWords.join(u' '));
    ASSERT_EQ(model->follower().wordsRead(0), 3);
    drawn(page, size, std::round(start - 15 * lineHeight));
    EXPECT_GE(page.cardRenders() - before, 1);
    EXPECT_LE(page.cardRenders() - before, 3);

    EXPECT_LT(page.largestCardPicture(), 2 * pageBytes) << "one picture is about the page's own size";
    EXPECT_LT(mostKept, 4 * pageBytes) << "the pictures kept are a few times the page's own size";
}

TEST_F(PrompterPageTextTest, TheHaloRunsOnAcrossThePiecesOfACard)
{
    // A strong halo on a card of 300 words at 32 pt, some 1,400 rows.
    model->setBgOpacity(0.3);
    model->setFontSize(32);
    model->setText(unpunctuated(300));
    // A 300-row page cuts a card into pieces of its 254-row column; a 2,000-row page into pieces of 512 rows.
    // With the card's picture starting 124 and 632 rows above the page, the short page has a seam at row 130
    // and the tall one none in the rows compared (below the fade, above the short page's end).
    for (const int above : {124, 632}) {
        SCOPED_TRACE(above);
        const double at = 24 - above;
        FollowPage shortPage, tallPage;
        const QImage cut = drawn(shortPage, QSizeF(780, 300), at);
        const QImage whole = drawn(tallPage, QSizeF(780, 2000), at, 0, 300);
        const QRect compared(0, 24, 780, 254 - 24);
        ASSERT_GE(shortPage.cardRenders(), 2) << "the short page drew the card in pieces";
        EXPECT_EQ(cut.copy(compared), whole.copy(compared));
    }
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
