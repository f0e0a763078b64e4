#include "platform/audio/AudioTimestamper.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
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
// Checking a late block: reads caught up once the earliest lateness of three tenths of a second in a row lie
// within this of each other (a burst drains it by up to a tenth of a second each, a hold-up raises it); the
// first block measured within `plateauWithin` of the lost time is where the sound came again.
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
        checkLatest_ = lateness;
    }
    checkLatest_ = std::max(checkLatest_, lateness);
    // Held in place by count: the sound is assumed whole until the reads say otherwise.
    std::vector<float> out = stretcher_.stretch(samples, frames, ratio_);
    const int64_t outFrames = static_cast<int64_t>(out.size()) / channels_;
    checked_.push_back({std::move(out), next_, lateness});
    next_ += advance(outFrames);
    if (lateness <= breakLimit) {
        // Measured in its place again: everything before it was there, only read late.
        releaseChecked(0, fed);
        fed.note = QStringLiteral("sound read up to %1 ms late; nothing was lost and the timeline stays").arg(milliseconds(checkLatest_), 0, 'f', 1);
        return fed;
    }
    checkWindowEarliest_ = checkWindowFrames_ == 0 ? lateness : std::min(checkWindowEarliest_, lateness);
    checkWindowFrames_ += frames;
    if (checkWindowFrames_ < sampleRate_ / 10)
        return fed;
    checkWindows_.push_back(checkWindowEarliest_);
    if (checkWindows_.size() > caughtUpWindows)
        checkWindows_.pop_front();
    checkWindowFrames_ = 0;
    if (caughtUp()) {
        // The reads come in real time and still late: that much sound never came.
        stepChecked(std::min(checkWindows_.back(), checkWindows_[checkWindows_.size() - 2]), fed);
        return fed;
    }
    // Still falling (a backlog drains) or rising (another hold-up while it drained): nothing is known lost.
    if (nowNanoseconds - checkStartedAt_ >= checkLimit)
        releaseBeforeLeast(fed);
    return fed;
}

bool AudioTimestamper::caughtUp() const
{
    // Level both ways: lateness that falls is a backlog still read faster than real time, lateness that
    // rises is a later hold-up; only reads in real time tell what was lost.
    if (checkWindows_.size() < caughtUpWindows)
        return false;
    const auto [least, most] = std::minmax_element(checkWindows_.begin(), checkWindows_.end());
    return *most - *least <= caughtUpWithin;
}

void AudioTimestamper::stepChecked(int64_t lost, Fed& fed)
{
    releaseChecked(lost, fed);
    fed.note = QStringLiteral("sound timeline moved by %1 ms after a break in the sound").arg(milliseconds(lost), 0, 'f', 1);
    followAfresh();
}

void AudioTimestamper::releaseBeforeLeast(Fed& fed)
{
    // Sound that came again after a loss measures no later than anything read after it, so what was read
    // before the first block near the least lateness so far is in place by count whatever the reads say
    // later: it goes out, and only the rest stays held.
    const auto least = std::min_element(checked_.begin(), checked_.end(), [](const Checked& a, const Checked& b) { return a.lateness < b.lateness; });
    const auto cameAgain = std::find_if(checked_.begin(), checked_.end(), [least](const Checked& block) { return block.lateness <= least->lateness + plateauWithin; });
    for (auto block = checked_.begin(); block != cameAgain; ++block) {
        if (!block->samples.empty())
            fed.blocks.push_back(place(std::move(block->samples), block->start));
    }
    checked_.erase(checked_.begin(), cameAgain);
    if (next_ - checked_.front().start <= checkLimit)
        return;
    // Held this long without a read nearer its place: if the reads of its older and newer halves come no
    // nearer than each other, they came in real time (on a busy machine, never three tenths level) and the
    // least lateness was lost; if the newer half is later, more hold-ups came and nothing is known lost.
    const int64_t middle = checked_.front().start + (next_ - checked_.front().start) / 2;
    int64_t newer = std::numeric_limits<int64_t>::max();
    for (const Checked& block : checked_) {
        if (block.start >= middle)
            newer = std::min(newer, block.lateness);
    }
    if (newer - checked_.front().lateness <= caughtUpWithin) {
        stepChecked(checked_.front().lateness, fed);
        return;
    }
    releaseChecked(0, fed);
    fed.note = QStringLiteral("sound still read up to %1 ms late after more hold-ups; nothing is known lost and the timeline stays")
                   .arg(milliseconds(checkLatest_), 0, 'f', 1);
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
