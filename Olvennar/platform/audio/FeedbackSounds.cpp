#include "platform/audio/FeedbackSounds.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct Partial {
    double frequency;
    double amplitude;
};

// A decaying sum of sine partials, optionally gliding in pitch.
std::vector<float> tone(double seconds, std::initializer_list<Partial> partials, double decayPerSecond, double glide = 1.0)
{
    const int count = static_cast<int>(seconds * FeedbackSounds::sampleRate);
    std::vector<float> out(static_cast<size_t>(count));
    std::vector<double> phases(partials.size(), 0.0);
    const int fade = FeedbackSounds::sampleRate / 400; // 2.5 ms
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / FeedbackSounds::sampleRate;
        const double pitch = std::pow(glide, t / seconds);
        double value = 0;
        size_t k = 0;
        for (const Partial& p : partials) {
            phases[k] += 2 * std::numbers::pi * p.frequency * pitch / FeedbackSounds::sampleRate;
            value += p.amplitude * std::sin(phases[k]);
            ++k;
        }
        double envelope = std::exp(-decayPerSecond * t);
        envelope *= std::min(1.0, std::min(i, count - 1 - i) / static_cast<double>(fade));
        out[static_cast<size_t>(i)] = static_cast<float>(value * envelope);
    }
    return out;
}

} // namespace

namespace FeedbackSounds {

std::vector<float> synthesize(const QString& name)
{
    if (name == QLatin1String("Funk")) // a soft low knock: busy, ignored
        return tone(0.22, {{220, 0.30}, {330, 0.12}}, 14.0, 0.85);
    if (name == QLatin1String("Basso")) // a low buzz: thrown away or failed
        return tone(0.35, {{110, 0.30}, {220, 0.10}, {330, 0.06}}, 6.0);
    if (name == QLatin1String("Pop")) // a quick rising pop: done
        return tone(0.09, {{600, 0.40}}, 30.0, 1.6);
    if (name == QLatin1String("Tink")) // a small bright ping: moved on
        return tone(0.15, {{2600, 0.25}, {5200, 0.06}}, 25.0);
    return {};
}

} // namespace FeedbackSounds
