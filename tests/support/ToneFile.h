#pragma once

#include <QString>

#include <functional>

// Writes a 16-bit PCM WAV of a sine tone for paplay; `audible(t)` switches the tone on and off by time.
namespace ToneFile {
bool write(const QString& path, double seconds, double frequency, int sampleRate = 48000, int channels = 2,
    const std::function<bool(double seconds)>& audible = {});
}
