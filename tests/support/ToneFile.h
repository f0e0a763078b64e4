#pragma once

#include <QString>

#include <functional>
#include <vector>

// Writes a 16-bit PCM WAV of a sine tone for paplay; `audible(t)` switches the tone on and off by time; its
// peak is `peak` of 32767.
namespace ToneFile {
bool write(const QString& path, double seconds, double frequency, int sampleRate = 48000, int channels = 2,
    const std::function<bool(double seconds)>& audible = {}, double peak = 16000);

// How a recorded steady tone came back.
struct Breaks {
    double firstLoudSeconds = -1; // -1: never loud
    int dropouts = 0; // runs of silence of 2 ms or more
    int phaseJumps = 0; // places where the sine does not continue itself
    std::vector<double> at; // where each dropout and jump begins, in seconds
};
// `mono` starts at `startSeconds`; the ends (where codecs ring and the tail stops mid-block) are not judged.
Breaks breaksIn(const std::vector<float>& mono, int sampleRate, double startSeconds, double frequency);
}
