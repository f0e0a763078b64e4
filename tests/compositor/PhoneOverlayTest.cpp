#include "CompositorFixture.h"

#include <cmath>

using namespace CompositorTesting;

namespace {

// Gray 0.055 with blue 0.063, and the pill's 0.02 / 0.028, as 8-bit values.
const Pixel bodyColor{16, 14, 14, 255};
const Pixel pillColor{7, 5, 5, 255};

Pixel halfway(const Pixel& a, const Pixel& b) { return {(a.blue + b.blue) / 2, (a.green + b.green) / 2, (a.red + b.red) / 2, 255}; }

class PhoneOverlayTest : public CompositorTest {
protected:
    PhoneOverlayTest()
    {
        settings.phoneTrackID = phoneTrack;
        settings.phoneRect = QRectF(20, 20, 100, 200);
    }
    CompositorSettings settings = classicSettings();
    std::shared_ptr<const PixelBuffer> phone = solid(47, 97, phoneColor);
};

} // namespace

TEST_F(PhoneOverlayTest, FramedPhoneHasBodyScreenAndPill)
{
    const PixelBuffer out = render(settings, 1, grayScreen, nullptr, phone);
    EXPECT_TRUE(at(out, 21.5, 120).near(bodyColor, 1)) << at(out, 21.5, 120); // inside the 3 px bezel
    EXPECT_TRUE(at(out, 70, 120).near(phoneColor, 0));
    EXPECT_TRUE(at(out, 70, 209.9).near(pillColor, 1)) << at(out, 70, 209.9); // the pill near the top
    EXPECT_TRUE(at(out, 70, 30).near(phoneColor, 0)); // no pill at the bottom: y grows upward
    EXPECT_TRUE(at(out, 20.5, 20.5).near(screenColor, 0)); // rounded outer corner
    EXPECT_TRUE(at(out, 125, 120).near(screenColor, 0));
    EXPECT_EQ(compositor.cacheState().maskKeys, (std::vector<QString>{QStringLiteral("rounded94x194r12"),
                                                    QStringLiteral("solid100x200r15g55"), QStringLiteral("solid30x8r4g20")}));
}

TEST_F(PhoneOverlayTest, BarePhoneIsMaskedOnlyAboveHalfAPixelOfRounding)
{
    settings.phoneShowsFrame = false;
    settings.phoneCornerRadius = 0.5;
    phone = solid(50, 100, phoneColor); // fills the phone rectangle exactly
    const PixelBuffer square = render(settings, 1, grayScreen, nullptr, phone);
    EXPECT_TRUE(at(square, 20.5, 20.5).near(phoneColor, 0));
    EXPECT_TRUE(compositor.cacheState().maskKeys.empty());

    settings.phoneCornerRadius = 0.6;
    render(settings, 1, grayScreen, nullptr, phone);
    EXPECT_EQ(compositor.cacheState().maskKeys, std::vector<QString>{QStringLiteral("rounded100x200r0")});

    settings.phoneCornerRadius = 20;
    const PixelBuffer rounded = render(settings, 1, grayScreen, nullptr, phone);
    EXPECT_TRUE(at(rounded, 21, 21).near(screenColor, 0));
    EXPECT_TRUE(at(rounded, 70, 120).near(phoneColor, 0));
}

TEST_F(PhoneOverlayTest, PhoneCrossFadesAtItsSpanEdges)
{
    settings.phoneSegments = {{2.0, 10.0}};
    // Halfway into the fade-in, the screen, the bezel and the screen's surroundings are each halfway.
    const PixelBuffer fading = render(settings, 2.15, grayScreen, nullptr, phone);
    EXPECT_TRUE(at(fading, 70, 120).near(halfway(screenColor, phoneColor), 2)) << at(fading, 70, 120);
    EXPECT_TRUE(at(fading, 21.5, 120).near(halfway(screenColor, bodyColor), 2)) << at(fading, 21.5, 120);
    EXPECT_TRUE(at(fading, 125, 120).near(screenColor, 0));
    EXPECT_TRUE(at(render(settings, 10.15, grayScreen, nullptr, phone), 70, 120).near(halfway(screenColor, phoneColor), 2));
    EXPECT_TRUE(at(render(settings, 1.0, grayScreen, nullptr, phone), 70, 120).near(screenColor, 0));
    EXPECT_TRUE(at(render(settings, 5.0, grayScreen, nullptr, phone), 70, 120).near(phoneColor, 0));

    // A span that opens the take shows the phone from the first frame.
    settings.phoneSegments = {{0.2, 10.0}};
    EXPECT_TRUE(at(render(settings, 0.25, grayScreen, nullptr, phone), 70, 120).near(phoneColor, 0));
}

TEST_F(PhoneOverlayTest, PhoneIsLeftOutWithoutTrackFrameOrRectangle)
{
    CompositorSettings noTrack = settings;
    noTrack.phoneTrackID = 0;
    EXPECT_TRUE(at(render(noTrack, 1, grayScreen, nullptr, phone), 70, 120).near(screenColor, 0));
    EXPECT_TRUE(at(render(settings, 1, grayScreen), 70, 120).near(screenColor, 0));
    CompositorSettings noRect = settings;
    noRect.phoneRect = QRectF(20, 20, 0, 200);
    EXPECT_TRUE(at(render(noRect, 1, grayScreen, nullptr, phone), 20, 120).near(screenColor, 0));
    noRect.phoneRect = QRectF(20, 20, std::nan(""), 200);
    EXPECT_TRUE(at(render(noRect, 1, grayScreen, nullptr, phone), 20, 120).near(screenColor, 0));
    EXPECT_TRUE(compositor.cacheState().maskKeys.empty());
}
