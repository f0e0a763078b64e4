#include "ScreenTakeFixture.h"

#include "compositing/RasterFlip.h"
#include "compositing/StudioRenderer.h"
#include "views/framing/CameraBubbleWindow.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A camera picture whose green counts its rows from the top (0) to the bottom (255). An offset that steps
// every few columns dithers the rounding (slowly enough to outlive the card's downscaling), so the mean over
// a stretch of a row reads the row far finer than one level.
PixelBuffer rowRamp(QSize size)
{
    PixelBuffer picture(size.width(), size.height());
    for (int y = 0; y < size.height(); ++y) {
        const double level = 255.0 * y / (size.height() - 1);
        uint8_t* row = picture.row(y);
        for (int x = 0; x < size.width(); ++x) {
            const double dither = (x / 8 % 16 + 0.5) / 16 - 0.5;
            row[4 * x + 1] = static_cast<uint8_t>(std::clamp(std::floor(level + dither + 0.5), 0.0, 255.0));
            row[4 * x + 3] = 255;
        }
    }
    return picture;
}

// What a height of the shown card, from its top edge (0) to its bottom edge (1), shows of the picture.
struct RowAt {
    double height;
    double row; // 0 the picture's top row, 1 its bottom row
};

// The final movie's card drawn by the compositor: the rows it shows near the top, middle and bottom of the
// card's part inside the frame, read from its pixels.
std::vector<RowAt> rowsInTheFinal(QSize camera, FaceLayout face, StudioBackground background, const FaceCardFraming& framing)
{
    const QSize render(1920, 1080);
    StudioRenderer renderer(render, QSizeF(render), face, background);
    EXPECT_EQ(renderer.geometry().cardRect, framing.cardRect) << "the bubble is framed on the final's own card";
    PixelBuffer screen(render.width(), render.height());
    screen.fill(255, 0, 0, 255);
    PixelBuffer frame(render.width(), render.height());
    EXPECT_TRUE(renderer.drawBase(screen, 0, {}, QRectF(0, 0, 1, 1), nullptr, {}, false, std::nullopt, frame));
    renderer.drawCard(rowRamp(camera), 1, false, std::nullopt, frame);

    const QRectF shown = RasterFlip::rect(framing.visibleRect, render.height());
    std::vector<RowAt> rows;
    for (double height : {0.06, 0.5, 0.94}) {
        const int y = static_cast<int>(shown.top() + height * shown.height());
        // The middle half of the row: clear of the rounded corners.
        const int from = static_cast<int>(shown.left() + shown.width() / 4), to = static_cast<int>(shown.right() - shown.width() / 4);
        double green = 0;
        for (int x = from; x < to; ++x)
            green += frame.row(y)[4 * x + 1];
        rows.push_back({(y + 0.5 - shown.top()) / shown.height(), green / (to - from) / 255});
    }
    return rows;
}

// The same heights in the live bubble, whose top edge is the shown part's and whose picture is the camera
// picture at the bubble's scale, as its layout placed it (widget coordinates, y down).
double rowInTheBubble(const OverlayHostView& host, double height)
{
    const QRectF picture = host.previewRect();
    const double shownHeight = host.studioFraming->visibleRect.height() * picture.height() / host.studioFraming->cameraRect.height();
    return (host.rect().top() + height * shownHeight - picture.top()) / picture.height();
}

class BubbleCardCrop : public ScreenTakeFlow {
protected:
    // The bubble of the studio look for this camera, framed by the studio itself; none when it did not show.
    const OverlayHostView* bubbleFor(QSize camera, FaceLayout face, StudioBackground background)
    {
        services.camera.size = camera;
        controller->setStudioBackground(background);
        controller->setFaceLayout(face);
        controller->setBubbleSize(400);
        plugInCamera();
        auto* bubble = static_cast<CameraBubbleWindow*>(controller->bubblePanel().window());
        return bubble ? &bubble->hostView() : nullptr;
    }

    void expectTheFinalsRows(QSize camera, FaceLayout face, StudioBackground background)
    {
        SCOPED_TRACE(testing::Message() << camera.width() << "x" << camera.height());
        const OverlayHostView* bubble = bubbleFor(camera, face, background);
        ASSERT_TRUE(bubble);
        const OverlayHostView& host = *bubble;
        ASSERT_TRUE(host.studioFraming);
        ASSERT_EQ(host.studioFraming, controller->bubblePanel().studioFraming());
        for (const RowAt& final : rowsInTheFinal(camera, face, background, *host.studioFraming)) {
            SCOPED_TRACE(final.height);
            // Within half a render pixel of the smallest picture here (360 pixels tall).
            EXPECT_NEAR(rowInTheBubble(host, final.height), final.row, 0.5 / 360);
        }
    }
};

TEST_F(BubbleCardCrop, aCameraNarrowerThanTheCardShowsTheRowsTheFinalDrawsIntoIt)
{
    // The picture overflows the card at top and bottom and sits a little low in it.
    expectTheFinalsRows(QSize(1080, 1920), FaceLayout::bottomRight, StudioBackground::linen);
    expectTheFinalsRows(QSize(1080, 1080), FaceLayout::bottomRight, StudioBackground::linen);
    // A card that bleeds past the frame's left edge shows only its part inside the frame.
    expectTheFinalsRows(QSize(1080, 1920), FaceLayout::tallLeft, StudioBackground::darkRoom);
}

TEST_F(BubbleCardCrop, aWideCameraFillsTheCardFromTopToBottom)
{
    expectTheFinalsRows(QSize(1920, 1080), FaceLayout::bottomRight, StudioBackground::linen);
    const OverlayHostView* host = bubbleFor(QSize(1920, 1080), FaceLayout::bottomRight, StudioBackground::linen);
    ASSERT_TRUE(host);
    // The picture's top edge on the bubble's, its bottom edge on the bubble's within the window's rounding.
    EXPECT_NEAR(host->previewRect().top(), 0, 1e-9);
    EXPECT_NEAR(host->previewRect().bottom(), host->height(), 0.5);
}

} // namespace
