// What the framing views say and show when nothing is known yet, and the colour of "adjust".
#include "framing/FramingReport.h"
#include "views/framing/OverlayHostView.h"

#include <gtest/gtest.h>

namespace {

TEST(FramingTextsTest, idleHintAndTheAdjustColour)
{
    EXPECT_EQ(FramingReport::idle().overall.hints, QStringList{QStringLiteral("Waiting for the camera…")});
    OverlayHostView host(nullptr);
    host.resize(200, 200);
    host.bubbleShape = BubbleShape::circle;
    host.layoutPreview();
    host.setPill(FramingStatus::adjust, QStringLiteral("Move back a little"), 1);
    ASSERT_TRUE(host.isPillShown());
    EXPECT_EQ(host.pillDotColor(), QColor(255, 149, 0)) << "adjust is orange";
}

} // namespace
