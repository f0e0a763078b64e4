#include "platform/audio/AudioTimestamper.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {
constexpr int64_t second = 1'000'000'000;
constexpr int64_t millisecond = 1'000'000;
// Settling: windows of a tenth of a second; the two halves of the last second agree within this, at a
// latency a wired microphone has. A stream's wrong start-up latency sticks for most of a second, at anything from
// 150 to 700 ms, before it falls to the real one.
constexpr size_t steadyWindows = 10;
constexpr int64_t steadyWithin = 2 * millisecond;
constexpr int64_t plausibleLatency = 100 * millisecond;
// The follower: proportional and integral gains (per second, per second²), critically damped around a
// time constant of 40 s, so measurement jitter of a millisecond stretches by no more than 50 ppm.
constexpr double proportionalGain = 0.05;
constexpr double integralGain = proportionalGain * proportionalGain / 4;

double milliseconds(int64_t nanoseconds) { return static_cast<double>(nanoseconds) / millisecond; }
}

AudioTimestamper::AudioTimestamper(int sampleRate, int channels)
    : sampleRate_(sampleRate > 0 ? sampleRate : 48000), channels_(channels > 0 ? channels : 2), stretcher_(sampleRate_, channels_)
{
}

int64_t AudioTimestamper::advance(int64_t frames)
{
    const int64_t scaled = frames * second + remainder_;
    remainder_ = scaled % sampleRate_;
    return scaled / sampleRate_;
}

MediaSample AudioTimestamper::place(std::vector<float> samples, int64_t startNanoseconds) const
{
    auto block = std::make_shared<AudioBlock>();
    block->sampleRate = sampleRate_;
    block->channels = channels_;
    block->samples = std::move(samples);
    return MediaSample::sound(std::move(block), MediaTime::fromNanoseconds(startNanoseconds));
}

AudioTimestamper::Fed AudioTimestamper::feed(int64_t nowNanoseconds, int64_t latencyNanoseconds, const float* samples, int64_t frames)
{
    Fed fed;
    if (frames <= 0)
        return fed;
    const int64_t measured = nowNanoseconds - latencyNanoseconds - frames * second / sampleRate_;
    if (!settled_) {
        if (firstReadAt_ < 0)
            firstReadAt_ = nowNanoseconds;
        hold(measured, latencyNanoseconds, samples, frames);
        if (windowFrames_ >= sampleRate_ / 10) {
            windows_.push_back({windowEarliest_, windowLatency_});
            if (windows_.size() > steadyWindows)
                windows_.pop_front();
            windowFrames_ = 0;
            if (steady())
                return settle(nowNanoseconds, windowLatency_, false);
        }
        if (nowNanoseconds - firstReadAt_ >= settleLimit)
            return settle(nowNanoseconds, latencyNanoseconds, true);
        return fed;
    }
    // A late read or a wrong latency moves a measurement by milliseconds; sound that stopped coming for a
    // while and came back moves it by all that time, and placing it right after the last block would put
    // everything from here on early.
    const int64_t error = measured - next_;
    if (resynchronize_ || error > breakLimit) {
        const QString after = resynchronize_ ? QStringLiteral("the server dropped sound") : QStringLiteral("a break in the sound");
        fed.note = QStringLiteral("sound timeline moved by %1 ms after %2").arg(milliseconds(error), 0, 'f', 1).arg(after);
        resynchronize_ = false;
        next_ = measured;
        remainder_ = 0;
        followAfresh();
    } else {
        follow(error, frames);
    }
    std::vector<float> out = stretcher_.stretch(samples, frames, ratio_);
    const int64_t outFrames = static_cast<int64_t>(out.size()) / channels_;
    if (outFrames > 0) {
        fed.blocks.push_back(place(std::move(out), next_));
        next_ += advance(outFrames);
    }
    return fed;
}

void AudioTimestamper::hold(int64_t measuredStart, int64_t latency, const float* samples, int64_t frames)
{
    // Held sound passes the stretcher too (unstretched), so nothing changes in the sound when it settles.
    std::vector<float> out = stretcher_.stretch(samples, frames, 1.0);
    const int64_t offset = measuredStart - outputFrames_ * second / sampleRate_;
    windowEarliest_ = windowFrames_ == 0 ? offset : std::min(windowEarliest_, offset);
    windowLatency_ = windowFrames_ == 0 ? latency : std::max(windowLatency_, latency);
    windowFrames_ += frames;
    const int64_t outFrames = static_cast<int64_t>(out.size()) / channels_;
    held_.push_back({std::move(out), outputFrames_});
    outputFrames_ += outFrames;
}

bool AudioTimestamper::steady() const
{
    if (windows_.size() < steadyWindows)
        return false;
    // A wrong start-up latency is steady too, but implausibly high: every window of the second must be plausible.
    for (const Window& window : windows_) {
        if (window.latency > plausibleLatency)
            return false;
    }
    // The earliest reading of each half of the last second: jitter only delays readings, so these agree on a
    // steady stream however late single reads come, and differ while the latency still falls.
    const auto half = windows_.begin() + steadyWindows / 2;
    const auto earliest = [](auto from, auto to) {
        return std::min_element(from, to, [](const Window& a, const Window& b) { return a.earliest < b.earliest; })->earliest;
    };
    return std::llabs(earliest(windows_.begin(), half) - earliest(half, windows_.end())) <= steadyWithin;
}

AudioTimestamper::Fed AudioTimestamper::settle(int64_t nowNanoseconds, int64_t latency, bool forced)
{
    Fed fed;
    settled_ = true;
    // Every held block is placed by count back from the latest half second's earliest measurement.
    int64_t origin = windowEarliest_;
    if (!windows_.empty()) {
        origin = windows_.back().earliest;
        for (auto window = windows_.size() > steadyWindows / 2 ? windows_.end() - steadyWindows / 2 : windows_.begin(); window != windows_.end(); ++window)
            origin = std::min(origin, window->earliest);
    }
    for (Held& held : held_) {
        if (!held.samples.empty())
            fed.blocks.push_back(place(std::move(held.samples), origin + held.outputFrame * second / sampleRate_));
    }
    const int64_t heldFor = outputFrames_ * second / sampleRate_;
    held_.clear();
    windows_.clear();
    remainder_ = 0;
    next_ = origin + advance(outputFrames_);
    const QString when = QStringLiteral("%1 ms after its first block (latency %2 ms, %3 ms held)")
                             .arg(milliseconds(nowNanoseconds - firstReadAt_), 0, 'f', 0)
                             .arg(milliseconds(latency), 0, 'f', 1)
                             .arg(milliseconds(heldFor), 0, 'f', 0);
    fed.note = forced ? QStringLiteral("sound latency still unsettled ") + when + QStringLiteral("; the timeline follows the latest measurement")
                      : QStringLiteral("sound latency settled ") + when;
    if (const std::optional<int64_t> from = std::exchange(resettledFrom_, std::nullopt)) {
        fed.note = QStringLiteral("sound timeline moved by %1 ms after %2; ").arg(milliseconds(origin - *from), 0, 'f', 1).arg(resettleReason_) + fed.note;
        followAfresh();
    }
    return fed;
}

void AudioTimestamper::followAfresh()
{
    integral_ = 0;
    ratio_ = 1.0;
    errorFrames_ = 0;
}

void AudioTimestamper::resettle(const QString& reason)
{
    resettleReason_ = reason;
    // Still settling: only what the stream measures from now on tells its latency.
    windows_.clear();
    windowFrames_ = 0;
    if (!settled_)
        return;
    // A new source settles as a new stream does: its latency may be wrong for a while, and only sound that
    // arrives from here on is held and placed. The follower starts afresh on the new source's clock.
    resettledFrom_ = next_;
    settled_ = false;
    firstReadAt_ = -1;
    outputFrames_ = 0;
    resynchronize_ = false;
}

AudioTimestamper::Fed AudioTimestamper::flush()
{
    if (settled_ || held_.empty())
        return {};
    return settle(firstReadAt_ + settleLimit, windowLatency_, true);
}

void AudioTimestamper::skip(int64_t frames)
{
    if (frames <= 0)
        return;
    if (!settled_) {
        outputFrames_ += frames;
        return;
    }
    next_ += advance(frames);
}

void AudioTimestamper::follow(int64_t errorNanoseconds, int64_t frames)
{
    errorEarliest_ = errorFrames_ == 0 ? errorNanoseconds : std::min(errorEarliest_, errorNanoseconds);
    errorFrames_ += frames;
    if (errorFrames_ < sampleRate_)
        return;
    const double seconds = static_cast<double>(errorFrames_) / sampleRate_;
    const double error = static_cast<double>(errorEarliest_) / second;
    errorFrames_ = 0;
    // The integral alone may carry the whole stretch (a steady drift), no more.
    const double integralLimit = largestStretch / integralGain;
    integral_ = std::clamp(integral_ + error * seconds, -integralLimit, integralLimit);
    ratio_ = 1.0 + std::clamp(proportionalGain * error + integralGain * integral_, -largestStretch, largestStretch);
}
