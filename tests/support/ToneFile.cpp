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

bool write(const QString& path, double seconds, double frequency, int sampleRate, int channels, const std::function<bool(double)>& audible)
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
        const auto value = static_cast<int16_t>(on ? 16000.0 * std::sin(2 * M_PI * frequency * t) : 0.0);
        for (int c = 0; c < channels; ++c)
            put16(out, static_cast<uint16_t>(value));
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out.data(), static_cast<qint64>(out.size())) == static_cast<qint64>(out.size());
}

} // namespace ToneFile
