#pragma once

#include "platform/audio/AudioPlayback.h"

#include <memory>
#include <vector>

// A sound output whose clock the test sets and whose pulls the test makes. The state outlives the playback
// object, so a test can see that the player ended a stream.
class FakeAudioPlayback final : public AudioPlayback {
public:
    struct State {
        int streamsStarted = 0;
        bool running = false;
        double playedSeconds = 0;
        bool refuse = false;
        // Pulls the next `frames` frames as the output would; the frames it got.
        int64_t pull(int64_t frames)
        {
            std::vector<float> buffer(static_cast<size_t>(frames) * 2);
            return running && pullFunction ? pullFunction(buffer.data(), frames) : 0;
        }
        Pull pullFunction;
    };

    explicit FakeAudioPlayback(std::shared_ptr<State> state)
        : state_(std::move(state))
    {
    }
    ~FakeAudioPlayback() override { stop(); }

    std::optional<QString> start(int, int, Pull pull) override
    {
        if (state_->refuse)
            return QStringLiteral("refused");
        ++state_->streamsStarted;
        state_->running = true;
        state_->playedSeconds = 0;
        state_->pullFunction = std::move(pull);
        return std::nullopt;
    }
    double playedSeconds() const override { return state_->running ? state_->playedSeconds : 0; }
    void stop() override
    {
        state_->running = false;
        state_->pullFunction = nullptr;
    }

private:
    std::shared_ptr<State> state_;
};
