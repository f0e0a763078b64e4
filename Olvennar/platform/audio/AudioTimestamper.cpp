#include "platform/audio/AudioTimestamper.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
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
// Checking a late block: reads caught up once the earliest lateness of a tenth of a second falls by no more
// than this over the next two (a burst drains it by a tenth of a second each); the first block measured
// within `plateauWithin` of the lost time is where the sound came again.
constexpr int64_t caughtUpWithin = 15 * millisecond;
constexpr size_t caughtUpWindows = 3;
constexpr int64_t plateauWithin = 5 * millisecond;

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
    Fed fed = feedBlock(nowNanoseconds, latencyNanoseconds, samples, frames);
    if (!ready_.empty()) {
        std::vector<MediaSample> blocks = std::exchange(ready_, {});
        std::move(fed.blocks.begin(), fed.blocks.end(), std::back_inserter(blocks));
        fed.blocks = std::move(blocks);
    }
    return fed;
}

AudioTimestamper::Fed AudioTimestamper::feedBlock(int64_t nowNanoseconds, int64_t latencyNanoseconds, const float* samples, int64_t frames)
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
    const int64_t error = measured - next_;
    if (resynchronize_) {
        // The server threw sound away after what was held: that is in place by count.
        if (!checked_.empty())
            releaseChecked(0, fed);
        fed.note = QStringLiteral("sound timeline moved by %1 ms after the server dropped sound").arg(milliseconds(error), 0, 'f', 1);
        resynchronize_ = false;
        next_ = measured;
        remainder_ = 0;
        followAfresh();
    } else if (!checked_.empty() || error > breakLimit) {
        // A late read moves a measurement by all the time the reading was held up, as does sound that
        // stopped coming for a while: only the blocks that follow tell which.
        return check(nowNanoseconds, error, samples, frames);
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

AudioTimestamper::Fed AudioTimestamper::check(int64_t nowNanoseconds, int64_t lateness, const float* samples, int64_t frames)
{
    Fed fed;
    if (checked_.empty()) {
        checkStartedAt_ = nowNanoseconds;
        checkWindowFrames_ = 0;
        checkWindows_.clear();
    }
    // Held in place by count: the sound is assumed whole until the reads say otherwise.
    std::vector<float> out = stretcher_.stretch(samples, frames, ratio_);
    const int64_t outFrames = static_cast<int64_t>(out.size()) / channels_;
    checked_.push_back({std::move(out), next_, lateness});
    next_ += advance(outFrames);
    if (lateness <= breakLimit) {
        // Measured in its place again: everything before it was there, only read late.
        const int64_t heldFor = checked_.front().lateness;
        releaseChecked(0, fed);
        fed.note = QStringLiteral("sound read up to %1 ms late; nothing was lost and the timeline stays").arg(milliseconds(heldFor), 0, 'f', 1);
        return fed;
    }
    checkWindowEarliest_ = checkWindowFrames_ == 0 ? lateness : std::min(checkWindowEarliest_, lateness);
    checkWindowFrames_ += frames;
    if (checkWindowFrames_ >= sampleRate_ / 10) {
        checkWindows_.push_back(checkWindowEarliest_);
        if (checkWindows_.size() > caughtUpWindows)
            checkWindows_.pop_front();
        checkWindowFrames_ = 0;
    }
    if (!caughtUp() && nowNanoseconds - checkStartedAt_ < checkLimit)
        return fed;
    // The reads come in real time and still late: that much sound never came.
    const int64_t lost = checkWindows_.empty() ? lateness : std::min(checkWindows_.back(), checkWindows_[checkWindows_.size() > 1 ? checkWindows_.size() - 2 : 0]);
    releaseChecked(lost, fed);
    fed.note = QStringLiteral("sound timeline moved by %1 ms after a break in the sound").arg(milliseconds(lost), 0, 'f', 1);
    followAfresh();
    return fed;
}

bool AudioTimestamper::caughtUp() const
{
    if (checkWindows_.size() < caughtUpWindows)
        return false;
    return checkWindows_.front() - std::min(checkWindows_[1], checkWindows_[2]) <= caughtUpWithin;
}

void AudioTimestamper::releaseChecked(int64_t lost, Fed& fed)
{
    // Sound kept through a long hold-up is the oldest; what came again after the loss measures about `lost`
    // late from its first block on, while what waited in the server measures ever less late down to it.
    const auto cameAgain = std::find_if(checked_.begin(), checked_.end(), [lost](const Checked& block) { return block.lateness <= lost + plateauWithin; });
    const int64_t step = lost > 0 ? lost : 0;
    for (auto block = checked_.begin(); block != checked_.end(); ++block) {
        if (!block->samples.empty())
            fed.blocks.push_back(place(std::move(block->samples), block->start + (block >= cameAgain ? step : 0)));
    }
    next_ += step;
    checked_.clear();
    checkWindows_.clear();
    checkWindowFrames_ = 0;
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
    // Settling again: the new sound never goes before what was given out already.
    if (resettledFrom_)
        origin = std::max(origin, *resettledFrom_);
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
    // What was read before the move is in place by count.
    if (!checked_.empty()) {
        Fed fed;
        releaseChecked(0, fed);
        for (MediaSample& block : fed.blocks)
            ready_.push_back(std::move(block));
    }
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
    Fed fed;
    fed.blocks = std::exchange(ready_, {});
    // Stopped while late blocks were checked: the reads had not caught up, so nothing is known lost.
    if (!checked_.empty())
        releaseChecked(0, fed);
    if (settled_ || held_.empty())
        return fed;
    Fed settledFed = settle(firstReadAt_ + settleLimit, windowLatency_, true);
    for (MediaSample& block : settledFed.blocks)
        fed.blocks.push_back(std::move(block));
    fed.note = settledFed.note;
    return fed;
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
