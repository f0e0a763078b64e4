// The auto page's scroll tick on a 2,000-word script at 780 × 300: 30 ticks drawn from the column laid out
// once, against laying the column out again on every tick (what a page rebuilt from the text each time does).
// The follow page's slide at 54 pt, the size slider's top: frames drawn through one 7,000-word sentence (one
// card, drawn in pieces near the page), against the same words in sentences of 17 (small cards, drawn whole).
#include "platform/system/Settings.h"
#include "teleprompter/TeleprompterModel.h"
#include "views/teleprompter/AutoPageColumn.h"
#include "views/teleprompter/FollowPage.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

const char* const vocabulary[] = {"the", "a", "and", "to", "of", "we", "you", "it", "is", "this", "that", "with", "record", "camera",
    "screen", "window", "studio", "light", "voice", "script", "video", "editor", "project", "folder", "timeline", "zoom", "click",
    "cursor", "frame", "layout", "backdrop", "bubble", "microphone", "audience", "channel", "lesson", "example", "feature", "button",
    "export", "finish", "render", "quickly", "carefully", "every", "first", "next", "bright", "quiet", "better", "smooth", "together"};

// Sentences of 17 words in paragraphs of 120, or with `sentences` false one sentence of all the words.
QString script(int words, bool sentences = true)
{
    QString text;
    uint32_t state = 2026;
    for (int i = 0; i < words; ++i) {
        state = state * 1664525u + 1013904223u;
        text += QString::fromLatin1(vocabulary[(state >> 8) % std::size(vocabulary)]);
        text += (sentences && i % 17 == 16) ? QStringLiteral(". ") : QStringLiteral(" ");
        if (sentences && i % 120 == 119)
            text += QStringLiteral("\n\n");
    }
    return text;
}

// One tick: the page's visible strip at the scroll offset.
void drawTick(AutoPageColumn& column, QImage& page, double offset)
{
    page.fill(Qt::transparent);
    QPainter painter(&page);
    column.paint(painter, 30 - offset, page.rect());
}

double millisecondsPerTick(bool layOutEachTick, const QString& text, int ticks)
{
    QImage page(780, 300, QImage::Format_ARGB32_Premultiplied);
    AutoPageColumn cached;
    cached.update({text, TeleprompterScript::Style::script, 32, 780});
    const double speed = 14;
    double offset = 1200;
    const auto start = Clock::now();
    for (int tick = 0; tick < ticks; ++tick) {
        offset += speed / 30;
        if (layOutEachTick) {
            AutoPageColumn fresh;
            fresh.update({text, TeleprompterScript::Style::script, 32, 780});
            drawTick(fresh, page, offset);
        } else {
            drawTick(cached, page, offset);
        }
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / ticks;
}

struct Slide {
    double millisecondsPerFrame = 0;
    int cardPieces = 0;
    double keptMegabytes = 0;
    double largestPictureMegabytes = 0;
};

// The follow page at 780 × 300 and 54 pt sliding down `lines` lines from the script's start, each line in
// 12 frames as the 0.38 s slide draws it at 30 frames a second.
Slide followSlide(Settings& settings, const QString& text, int lines)
{
    TeleprompterModel model(settings);
    model.setMode(PrompterMode::follow);
    model.setFontSize(54);
    model.setText(text);
    const QSizeF size(780, 300);
    QImage picture(780, 300, QImage::Format_ARGB32_Premultiplied);
    FollowPage page;
    const double start = page.targetShift(size, model);
    const double lineHeight = TeleprompterModel::lineFactor * 54;
    const int frames = lines * 12;
    Slide slide;
    const auto began = Clock::now();
    for (int frame = 0; frame < frames; ++frame) {
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        page.paint(painter, size, model, start - frame * lineHeight / 12);
        slide.keptMegabytes = std::max(slide.keptMegabytes, page.keptBytes() / 1e6);
    }
    slide.millisecondsPerFrame = std::chrono::duration<double, std::milli>(Clock::now() - began).count() / frames;
    slide.cardPieces = page.cardRenders();
    slide.largestPictureMegabytes = page.largestCardPicture() / 1e6;
    return slide;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString text = script(2000);
    const int ticks = 30;
    millisecondsPerTick(false, text, 3); // warm the font caches
    const double cached = millisecondsPerTick(false, text, ticks);
    const double everyTick = millisecondsPerTick(true, text, ticks);
    AutoPageColumn column;
    column.update({text, TeleprompterScript::Style::script, 32, 780});
    std::printf("auto page, 2,000 words, 780 x 300 at 32 pt, column %.0f pt high, %d ticks\n", column.height(), ticks);
    std::printf("  cached column:        %8.3f ms per tick (goal <= 2 ms)\n", cached);
    std::printf("  laid out every tick:  %8.3f ms per tick\n", everyTick);
    std::printf("  ratio cached / laid out: %.4f (goal <= 0.1)\n", cached / everyTick);

    QTemporaryDir folder;
    Settings settings(folder.filePath(QStringLiteral("bench.conf")));
    const int lines = 60;
    followSlide(settings, script(7000), 2); // warm the font caches
    const Slide sentences = followSlide(settings, script(7000), lines);
    const Slide oneCard = followSlide(settings, script(7000, false), lines);
    std::printf("follow page, 7,000 words, 780 x 300 at 54 pt, %d lines down in %d frames\n", lines, lines * 12);
    for (const auto& [name, slide] : {std::pair{"sentences of 17:", sentences}, std::pair{"one sentence:   ", oneCard}})
        std::printf("  %s %8.3f ms per frame, %4d card pieces drawn, %5.1f MB kept at most, largest picture %4.1f MB\n", name,
            slide.millisecondsPerFrame, slide.cardPieces, slide.keptMegabytes, slide.largestPictureMegabytes);
    std::printf("  ratio one sentence / sentences: %.2f (goal <= 1.5)\n", oneCard.millisecondsPerFrame / sentences.millisecondsPerFrame);
    return 0;
}
