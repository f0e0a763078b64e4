#include "capture/DisplayPicture.h"

#include "platform/input/RootCoordinates.h"
#include "platform/x11/DisplayFollow.h"

#include <variant>

DisplayPicture::DisplayPicture(const QRectF& captureRect) : area_(PictureArea::of(captureRect)) {}

DisplayPicture::DisplayPicture(ScreenLayoutSource& layout, const QRect& configured, const QSize& output, const QRectF& captureRect)
    : area_(PictureArea::of(captureRect))
{
    // A screen that cannot be read now is never followed: the picture is taken as it was configured.
    if (const std::optional<ScreenLayoutSource::Layout> now = layout.layout()) {
        layout_ = &layout;
        start_ = started(*now, configured, output, captureRect);
    }
}

PictureArea DisplayPicture::area()
{
    if (!layout_)
        return area_;
    if (const std::optional<ScreenLayoutSource::Layout> now = layout_->layout()) {
        if (const std::optional<PictureArea> area = areaOn(start_, *now))
            area_ = *area;
    }
    return area_;
}

DisplayPicture::Start DisplayPicture::started(const ScreenLayoutSource::Layout& layout, const QRect& configured, const QSize& output, const QRectF& captureRect)
{
    Start start{{}, false, configured, output, captureRect, layout.root.height()};
    if (const std::optional<ScreenDisplay> display = DisplayFollow::holding(configured, layout.displays)) {
        start.display = *display;
        return start;
    }
    start.wholeScreen = true;
    start.display = DisplayFollow::wholeScreen(layout.root);
    return start;
}

std::optional<PictureArea> DisplayPicture::areaOn(const Start& start, const ScreenLayoutSource::Layout& now)
{
    const std::vector<ScreenDisplay> displays
        = start.wholeScreen ? std::vector<ScreenDisplay>{DisplayFollow::wholeScreen(now.root)} : now.displays;
    const DisplayFollow::Decision decision = DisplayFollow::decide(start.display, start.configured, displays, now.root);
    const auto* grab = std::get_if<DisplayFollow::Grab>(&decision);
    if (!grab)
        return std::nullopt;
    if (grab->source == start.configured) {
        // Desktop y counts from the root's bottom edge, which moves when another display changes the root's height.
        const QRectF rect = start.captureRect.translated(0, now.root.height() - start.rootHeight);
        return PictureArea::of(rect);
    }
    return PictureArea{RootCoordinates::rect(QRectF(grab->source), now.root.height()),
        RootCoordinates::rect(DisplayFollow::spanned(grab->source, start.output), now.root.height())};
}
