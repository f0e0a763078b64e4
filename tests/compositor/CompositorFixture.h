#pragma once

#include "compositing/FestrinCompositor.h"
#include "compositing/FestrinInstruction.h"
#include "platform/media/PixelBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

// Small frames (480 × 270) with flat colours, so a probe says which layer a pixel came from.
namespace CompositorTesting {

constexpr int width = 480;
constexpr int height = 270;
constexpr int32_t screenTrack = 1;
constexpr int32_t cameraTrack = 2;
constexpr int32_t phoneTrack = 3;

struct Pixel {
    int blue = 0, green = 0, red = 0, alpha = 0;
    bool near(const Pixel& other, int tolerance) const
    {
        return std::abs(blue - other.blue) <= tolerance && std::abs(green - other.green) <= tolerance
            && std::abs(red - other.red) <= tolerance && std::abs(alpha - other.alpha) <= tolerance;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Pixel& p)
{
    return out << "bgra(" << p.blue << ", " << p.green << ", " << p.red << ", " << p.alpha << ")";
}

inline const Pixel screenColor{60, 60, 60, 255};
inline const Pixel cameraColor{0, 200, 0, 255};
inline const Pixel phoneColor{220, 0, 0, 255};

inline std::shared_ptr<const PixelBuffer> solid(int w, int h, const Pixel& color)
{
    auto buffer = std::make_shared<PixelBuffer>(w, h);
    buffer->fill(uint8_t(color.blue), uint8_t(color.green), uint8_t(color.red), uint8_t(color.alpha));
    return buffer;
}

// The pixel under a render-space point (origin bottom-left, y up).
inline Pixel at(const PixelBuffer& buffer, double x, double y)
{
    const int column = static_cast<int>(std::floor(x));
    const int row = buffer.height() - 1 - static_cast<int>(std::floor(y));
    const uint8_t* p = buffer.row(row) + 4 * column;
    return {p[0], p[1], p[2], p[3]};
}

inline CompositorSettings classicSettings()
{
    CompositorSettings settings;
    settings.screenTrackID = screenTrack;
    settings.renderSize = QSizeF(width, height);
    settings.showClickHighlight = true;
    return settings;
}

inline std::shared_ptr<const FestrinInstruction> instructionFor(const CompositorSettings& settings)
{
    return std::make_shared<const FestrinInstruction>(FestrinInstruction::TimeRange{MediaTime::zero(), MediaTime(10, 1)},
        std::make_shared<const CompositorSettings>(settings));
}

class CompositorTest : public ::testing::Test {
protected:
    // Renders one frame at take time t with the given sources (null: that track has no frame).
    PixelBuffer render(const CompositorSettings& settings, double t, std::shared_ptr<const PixelBuffer> screen,
        std::shared_ptr<const PixelBuffer> camera = nullptr, std::shared_ptr<const PixelBuffer> phone = nullptr)
    {
        PixelBuffer out(static_cast<int>(settings.renderSize.width()), static_cast<int>(settings.renderSize.height()));
        const auto error = compositor.renderRequest(request(settings, t, screen, camera, phone, &out));
        EXPECT_FALSE(error.has_value()) << FestrinCompositor::description(*error).toStdString();
        return out;
    }

    FestrinCompositor::Request request(const CompositorSettings& settings, double t, std::shared_ptr<const PixelBuffer> screen,
        std::shared_ptr<const PixelBuffer> camera, std::shared_ptr<const PixelBuffer> phone, PixelBuffer* out)
    {
        FestrinCompositor::Request request;
        request.instruction = instructionFor(settings);
        request.compositionTime = MediaTime::fromSeconds(t, 600);
        if (screen)
            request.sourceFrames[settings.screenTrackID] = screen;
        if (camera)
            request.sourceFrames[cameraTrack] = camera;
        if (phone)
            request.sourceFrames[phoneTrack] = phone;
        request.output = out;
        return request;
    }

    std::shared_ptr<const PixelBuffer> grayScreen = solid(width, height, screenColor);
    FestrinCompositor compositor;
};

} // namespace CompositorTesting
