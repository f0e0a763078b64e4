#include "platform/x11/DisplayFollow.h"

#include <algorithm>

namespace DisplayFollow {

Decision decide(const ScreenDisplay& started, const QRect& configured, const std::vector<ScreenDisplay>& now, const QSize& root)
{
    const auto display = std::find_if(now.begin(), now.end(), [&](const ScreenDisplay& d) { return d.id == started.id; });
    const QRect screen(QPoint(0, 0), root);
    // Listed but wholly off the screen is gone too: nothing of it can be read.
    const QRect frame = display != now.end() ? display->frame & screen : QRect();
    if (frame.isEmpty())
        return Gone{QStringLiteral("the recorded display “%1” is no longer available").arg(started.name.isEmpty() ? QString::number(started.id) : started.name)};
    if (display->frame == started.frame && screen.contains(configured))
        return Grab{configured};
    return Grab{frame};
}

QRect fitted(const QSize& source, const QSize& output)
{
    if (source.isEmpty() || output.isEmpty())
        return {};
    // Compared in 64 bits: which side limits the scale, without rounding.
    const int64_t across = int64_t{source.width()} * output.height();
    const int64_t down = int64_t{source.height()} * output.width();
    QSize placed = output;
    if (across > down)
        placed.setHeight(static_cast<int>((int64_t{output.width()} * source.height() + source.width() / 2) / source.width()));
    else if (across < down)
        placed.setWidth(static_cast<int>((int64_t{output.height()} * source.width() + source.height() / 2) / source.height()));
    placed = placed.expandedTo(QSize(1, 1));
    return QRect(QPoint((output.width() - placed.width()) / 2, (output.height() - placed.height()) / 2), placed);
}

QRectF spanned(const QRect& source, const QSize& output)
{
    const QRect placed = fitted(source.size(), output);
    if (placed.isEmpty())
        return {};
    const double across = static_cast<double>(source.width()) / placed.width();
    const double down = static_cast<double>(source.height()) / placed.height();
    return QRectF(source.x() - placed.x() * across, source.y() - placed.y() * down, output.width() * across, output.height() * down);
}

std::optional<ScreenDisplay> holding(const QRect& configured, const std::vector<ScreenDisplay>& displays)
{
    for (const ScreenDisplay& display : displays) {
        if (display.frame.contains(configured))
            return display;
    }
    return std::nullopt;
}

ScreenDisplay wholeScreen(const QSize& root) { return {0, QStringLiteral("screen"), QRect(QPoint(0, 0), root), true}; }

} // namespace DisplayFollow
