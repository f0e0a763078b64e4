#include "plans/LayoutSignals.h"

#include "plans/MovieLayoutSignalsSource.h"

#include <algorithm>
#include <cmath>

namespace {

// Limit for packet times when the movie does not say how long it is.
constexpr double longestTake = 24.0 * 3600.0;

} // namespace

LayoutSignals LayoutSignals::load(const QString& rawPath)
{
    MovieLayoutSignalsSource movie(rawPath);
    return load(movie);
}

LayoutSignals LayoutSignals::load(LayoutSignalsMovieSource& movie)
{
    LayoutSignals signals;
    const std::optional<double> duration = movie.duration();
    const double latest = duration && std::isfinite(*duration) && *duration >= 0 ? *duration + 1.0 : longestTake;

    ScreenMeter screenMeter(signals.screenStep, latest);
    if (movie.readVideoPackets([&](const LayoutSignalsMovieSource::Packet& packet) { screenMeter.add(packet); }))
        signals.screen = screenFlags(screenMeter.buckets(), screenMeter.syncSizes());

    SpeechMeter speechMeter(signals.speechStep);
    if (movie.readSpeechAudio([&](const float* samples, size_t count) { speechMeter.add(samples, count); }))
        signals.speech = speechFlags(speechMeter.levels());
    return signals;
}

std::optional<double> LayoutSignals::talkingFraction(double from, double to) const
{
    if (!speech || !(from < to))
        return std::nullopt;
    // Indices truncate toward zero, as the steps are counted from the take's start.
    const double first = std::trunc(from / speechStep);
    const double last = std::trunc(to / speechStep);
    const long i0 = static_cast<long>(std::max(first, 0.0));
    const long i1 = static_cast<long>(std::min(static_cast<double>(speech->size()), last));
    if (i1 <= i0)
        return std::nullopt;
    const long talking = std::count(speech->begin() + i0, speech->begin() + i1, true);
    return static_cast<double>(talking) / static_cast<double>(i1 - i0);
}

LayoutSignals::SpeechMeter::SpeechMeter(double step)
    : window_(static_cast<size_t>(std::max(step * speechSampleRate, 1.0)))
{
}

void LayoutSignals::SpeechMeter::add(const float* samples, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const double s = std::isfinite(samples[i]) ? samples[i] : 0.0; // a broken decode must not poison the levels
        sum_ += s * s;
        if (++filled_ == window_) {
            levels_.push_back(10.0 * std::log10(sum_ / static_cast<double>(window_) + 1e-12));
            sum_ = 0;
            filled_ = 0;
        }
    }
}

LayoutSignals::ScreenMeter::ScreenMeter(double step, double latestTime)
    : step_(step)
    , latestTime_(latestTime)
{
}

void LayoutSignals::ScreenMeter::add(const LayoutSignalsMovieSource::Packet& packet)
{
    if (!std::isfinite(packet.time) || packet.time < 0 || packet.time > latestTime_)
        return;
    const double size = static_cast<double>(std::max<int64_t>(packet.size, 0));
    if (packet.sync) {
        syncSizes_.push_back(size);
        return;
    }
    const size_t index = static_cast<size_t>(packet.time / step_);
    if (index >= buckets_.size())
        buckets_.resize(index + 1, 0.0);
    buckets_[index] += size;
}

std::optional<std::vector<bool>> LayoutSignals::speechFlags(const std::vector<double>& levels)
{
    const size_t n = levels.size();
    if (n < 21)
        return std::nullopt;
    std::vector<double> sorted = levels;
    std::sort(sorted.begin(), sorted.end());
    const double floor = sorted[n * 15 / 100];
    const double peak = sorted[n * 95 / 100];
    // Silence or a constant noise gives no contrast to tell talking from.
    if (!(peak - floor >= 10.0))
        return std::nullopt;
    const double threshold = floor + (peak - floor) * 0.4;

    std::vector<bool> loud(n);
    for (size_t i = 0; i < n; ++i)
        loud[i] = levels[i] > threshold;
    std::vector<bool> flags = loud;
    for (size_t i = 0; i < n; ++i) {
        if (!loud[i])
            continue;
        const size_t from = i >= 3 ? i - 3 : 0;
        const size_t to = std::min(i + 3, n - 1);
        for (size_t k = from; k <= to; ++k)
            flags[k] = true;
    }
    return flags;
}

std::optional<std::vector<bool>> LayoutSignals::screenFlags(const std::vector<double>& buckets, std::vector<double> syncSizes)
{
    if (buckets.empty())
        return std::nullopt;
    double reference = 1.0;
    if (!syncSizes.empty()) {
        std::sort(syncSizes.begin(), syncSizes.end());
        reference = syncSizes[syncSizes.size() / 2];
    } else {
        reference = *std::max_element(buckets.begin(), buckets.end());
    }
    std::vector<double> normalised(buckets.size());
    for (size_t i = 0; i < buckets.size(); ++i)
        normalised[i] = buckets[i] / std::max(reference, 1.0);
    std::vector<double> sorted = normalised;
    std::sort(sorted.begin(), sorted.end());
    const double threshold = std::max(sorted[sorted.size() / 5] * 4.0, 0.08);
    std::vector<bool> flags(normalised.size());
    for (size_t i = 0; i < normalised.size(); ++i)
        flags[i] = normalised[i] > threshold;
    return flags;
}
