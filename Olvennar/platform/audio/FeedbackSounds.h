#pragma once

#include <QString>

#include <vector>

// The four feedback sounds, synthesised once: mono float PCM at 48 kHz, peak below 0.5, with a short fade in
// and out so nothing clicks. Empty for an unknown name.
namespace FeedbackSounds {
inline constexpr int sampleRate = 48000;
std::vector<float> synthesize(const QString& name);
}
