// The auto page's scroll tick on a 2,000-word script at 780 × 300: 30 ticks drawn from the column laid out
// once, against laying the column out again on every tick (what a page rebuilt from the text each time does).
#include "views/teleprompter/AutoPageColumn.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

const char* const vocabulary[] = {"the", "a", "and", "to", "of", "we", "you", "it", "is", "this", "that", "with", "record", "camera",
    "screen", "window", "studio", "light", "voice", "script", "video", "editor", "project", "folder", "timeline", "zoom", "click",
    "cursor", "frame", "layout", "backdrop", "bubble", "microphone", "audience", "channel", "lesson", "example", "feature", "button",
    "export", "finish", "render", "quickly", "carefully", "every", "first", "next", "bright", "quiet", "better", "smooth", "together"};

QString script(int words)
{
    QString text;
    uint32_t state = 2026;
    for (int i = 0; i < words; ++i) {
        state = state * 1664525u + 1013904223u;
        text += QString::fromLatin1(vocabulary[(state >> 8) % std::size(vocabulary)]);
        text += (i % 17 == 16) ? QStringLiteral(". ") : QStringLiteral(" ");
        if (i % 120 == 119)
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
    return 0;
}
