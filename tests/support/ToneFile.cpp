#include "support/ToneFile.h"

#include <QFile>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {
void put32(std::vector<char>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}
void put16(std::vector<char>& out, uint16_t v)
{
    out.push_back(static_cast<char>(v));
    out.push_back(static_cast<char>(v >> 8));
}
}

namespace ToneFile {

bool write(const QString& path, double seconds, double frequency, int sampleRate, int channels, const std::function<bool(double)>& audible, double peak)
{
    const auto frames = static_cast<uint32_t>(seconds * sampleRate);
    const uint32_t dataBytes = frames * static_cast<uint32_t>(channels) * 2;
    std::vector<char> out;
    out.reserve(44 + dataBytes);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, 1);
    put16(out, static_cast<uint16_t>(channels));
    put32(out, static_cast<uint32_t>(sampleRate));
    put32(out, static_cast<uint32_t>(sampleRate * channels * 2));
    put16(out, static_cast<uint16_t>(channels * 2));
    put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, dataBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const bool on = !audible || audible(t);
        const auto value = static_cast<int16_t>(on ? peak * std::sin(2 * M_PI * frequency * t) : 0.0);
        for (int c = 0; c < channels; ++c)
            put16(out, static_cast<uint16_t>(value));
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out.data(), static_cast<qint64>(out.size())) == static_cast<qint64>(out.size());
}

} // namespace ToneFile

namespace ToneFile {

// A clean sine obeys x[n+1] + x[n-1] = 2 cos(w) x[n]; a cut or a repeat breaks that for a sample or two.
// AAC at 192 kbit/s keeps the residual of a clean tone near 1e-4; one repeated sample of a 440 Hz tone at
// half scale gives about 0.03.
Breaks breaksIn(const std::vector<float>& x, int sampleRate, double startSeconds, double frequency)
{
    Breaks found;
    const double twoCos = 2 * std::cos(2 * M_PI * frequency / sampleRate);
    size_t first = 0;
    while (first < x.size() && std::fabs(x[first]) < 0.05f)
        ++first;
    if (first == x.size())
        return found;
    found.firstLoudSeconds = startSeconds + static_cast<double>(first) / sampleRate;
    const auto rate = static_cast<size_t>(sampleRate);
    const size_t from = first + rate / 20;
    const size_t to = x.size() > rate / 5 ? x.size() - rate / 5 : 0;
    size_t quietRun = 0, lastJump = 0;
    for (size_t i = from; i + 1 < to; ++i) {
        quietRun = std::fabs(x[i]) < 1e-4f ? quietRun + 1 : 0;
        const double seconds = startSeconds + static_cast<double>(i) / sampleRate;
        if (quietRun == rate / 500) {
            ++found.dropouts;
            found.at.push_back(seconds - 0.002);
        }
        if (std::fabs(x[i + 1] + x[i - 1] - twoCos * x[i]) > 0.005 && i > lastJump + rate / 100) {
            ++found.phaseJumps;
            found.at.push_back(seconds);
            lastJump = i;
        }
    }
    return found;
}

} // namespace ToneFile
