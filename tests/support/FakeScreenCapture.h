#pragma once

#include "platform/x11/ScreenCapture.h"

#include <mutex>

// A screen the test drives: it lists what the test sets, accepts or refuses a start, and delivers the
// frames the test pushes (on the test's thread, like a grabber would on its own).
class FakeScreenCapture final : public ScreenCapture {
public:
    struct State {
        std::optional<std::vector<ScreenDisplay>> displays = std::vector<ScreenDisplay>{{1, QStringLiteral("fake"), QRect(0, 0, 320, 180), true}};
        std::optional<QString> startError;
        Configuration configuration;
        FrameHandler onFrame;
        bool running = false;
        // What the grabber reports, so a test can play a machine that could not keep up.
        Statistics statistics;
    };
    // Shared so the test keeps a handle after the recorder took ownership.
    explicit FakeScreenCapture(std::shared_ptr<State> state) : state_(std::move(state)) {}

    std::optional<std::vector<ScreenDisplay>> availableDisplays() override { return state_->displays; }
    std::optional<QString> start(const Configuration& configuration, FrameHandler onFrame) override
    {
        if (state_->startError)
            return state_->startError;
        state_->configuration = configuration;
        state_->onFrame = std::move(onFrame);
        state_->running = true;
        return std::nullopt;
    }
    void stop() override { state_->running = false; }
    Statistics statistics() const override { return state_->statistics; }

    // A frame of the configured output size in one colour, stamped at `seconds` on the host clock.
    static void push(State& state, double seconds, uint32_t bgra = 0xFF336699u)
    {
        if (!state.running || !state.onFrame)
            return;
        const QSize size = state.configuration.outputSize;
        auto pixels = std::make_shared<PixelBuffer>(size.width(), size.height());
        pixels->fill(bgra & 0xFF, (bgra >> 8) & 0xFF, (bgra >> 16) & 0xFF, 0xFF);
        state.onFrame(MediaSample::video(std::move(pixels), MediaTime::fromSeconds(seconds), MediaTime(1, state.configuration.frameRate)));
    }

private:
    std::shared_ptr<State> state_;
};
