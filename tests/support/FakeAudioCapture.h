#pragma once

#include "platform/audio/AudioCapture.h"

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

// A sound source the test drives: blocks of a sine tone stamped where the test says, each handed to the
// request's read handler and then to the start handler, as a source that holds nothing back.
class FakeAudioCapture final : public AudioCapture {
public:
    struct State {
        std::optional<QString> startError;
        Request request;
        BlockHandler onBlock;
        FailureHandler onFailure;
        bool running = false;
        QString description = QStringLiteral("Fake Microphone");
        float amplitude = 0.4f;
        // How long the source takes to deliver its first block once started.
        std::chrono::milliseconds firstBlockDelay{0};
        // A recorder may start or stop the source on a worker while the test pushes blocks.
        std::mutex lock;
    };
    explicit FakeAudioCapture(std::shared_ptr<State> state) : state_(std::move(state)) {}

    std::optional<QString> start(const Request& request, BlockHandler onBlock, FailureHandler onFailure) override
    {
        std::lock_guard guard(state_->lock);
        if (state_->startError)
            return state_->startError;
        state_->request = request;
        state_->onBlock = std::move(onBlock);
        state_->onFailure = std::move(onFailure);
        state_->running = true;
        return std::nullopt;
    }
    void waitUntilFlowing() override { std::this_thread::sleep_for(state_->firstBlockDelay); }
    void stop() override
    {
        std::lock_guard guard(state_->lock);
        state_->running = false;
    }
    QString sourceDescription() const override { return state_->running || state_->onBlock ? state_->description : QString(); }

    // `frames` frames of a 440 Hz tone at the requested rate and channel count, starting at `seconds`.
    static void push(State& state, double seconds, int frames = 480)
    {
        BlockHandler deliver;
        Request request;
        {
            std::lock_guard guard(state.lock);
            if (!state.running || (!state.onBlock && !state.request.onRead))
                return;
            deliver = state.onBlock;
            request = state.request;
        }
        auto block = std::make_shared<AudioBlock>();
        block->sampleRate = request.sampleRate;
        block->channels = request.channels;
        block->samples.resize(static_cast<size_t>(frames * block->channels));
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < block->channels; ++c)
                block->samples[static_cast<size_t>(i * block->channels + c)] = state.amplitude * std::sin(2.0f * 3.14159265f * 440.0f * static_cast<float>(seconds + static_cast<double>(i) / block->sampleRate));
        const MediaSample sample = MediaSample::sound(std::move(block), MediaTime::fromSeconds(seconds));
        if (request.onRead)
            request.onRead(sample);
        if (deliver)
            deliver(sample);
    }

private:
    std::shared_ptr<State> state_;
};
