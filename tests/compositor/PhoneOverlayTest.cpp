#include "CompositorFixture.h"

#include <cmath>

using namespace CompositorTesting;

namespace {

// Gray 0.055 with blue 0.063, and the pill's 0.02 / 0.028, as 8-bit values.
const Pixel bodyColor{16, 14, 14, 255};
const Pixel pillColor{7, 5, 5, 255};

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
}

