// Writes and reads the pointer path of a long screen take as a render's note keeps it (a track of base64
// strings) and as notes kept it before (lists of JSON numbers, the baseline), and prints the note's size, the
// time and the peak memory (above what the process held before it) of each step as ratios.
// Usage: pointer_note [hours, default 1]
#include "finishing/PointerPathNote.h"
#include "platform/system/ProcessMemory.h"
#include "support/PeakMemory.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// A pointer that never rests, logged 60 times a second to four places.
PointerPath movingPath(double seconds)
{
    std::vector<std::vector<double>> samples;
    samples.reserve(static_cast<size_t>(seconds * 60) + 1);
    for (double t = 0; t <= seconds; t += 1.0 / 60) {
        const double x = 0.5 + 0.3 * std::sin(t * 0.9) + 0.04 * std::sin(t * 5.3) + 0.1 * std::sin(t * 0.05);
        const double y = 0.5 + 0.25 * std::cos(t * 0.7) + 0.03 * std::cos(t * 4.1) + 0.1 * std::cos(t * 0.03);
        samples.push_back({t, std::round(x * 1e4) / 1e4, std::round(y * 1e4) / 1e4});
    }
    return *PointerPath::fromSamples(samples);
}

QJsonObject lists(const PointerPath& path)
{
    QJsonArray xs, ys;
    for (size_t i = 0; i < path.xs.size(); ++i) {
        xs.append(path.xs[i]);
        ys.append(path.ys[i]);
    }
    return {{QStringLiteral("start"), path.start}, {QStringLiteral("xs"), xs}, {QStringLiteral("ys"), ys}};
}

std::vector<double> numbers(const QJsonArray& list)
{
    std::vector<double> out;
    out.reserve(static_cast<size_t>(list.size()));
    for (const QJsonValue& each : list)
        out.push_back(each.toDouble());
    return out;
}

struct Step {
    double seconds = 0;
    double peakMegabytes = 0;
    double noteMegabytes = 0;
};

// What `step` took, above what the process held before it.
Step measured(const PointerPath& path, const std::function<double(const PointerPath&)>& step)
{
    PeakMemory::reset();
    const long before = ProcessMemory::residentKilobytes();
    const auto start = std::chrono::steady_clock::now();
    Step result;
    result.noteMegabytes = step(path) / (1024 * 1024);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakMegabytes = static_cast<double>(PeakMemory::kilobytes() - before) / 1024;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const double hours = argc > 1 ? std::atof(argv[1]) : 1.0;
    const PointerPath path = movingPath(hours * 3600);
    const QString listsFile = QStringLiteral("/tmp/pointer_note_lists.json"), trackFile = QStringLiteral("/tmp/pointer_note_track.json");
    const auto writer = [](QJsonObject (*encode)(const PointerPath&), QString file) {
        return [=](const PointerPath& p) {
            const QByteArray text = QJsonDocument(encode(p)).toJson(QJsonDocument::Compact);
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
                std::abort();
            return static_cast<double>(text.size());
        };
    };
    const auto readBack = [](QString file, bool track) {
        return [=](const PointerPath&) {
            QFile in(file);
            if (!in.open(QIODevice::ReadOnly))
                std::abort();
            const QByteArray text = in.readAll();
            const QJsonObject json = QJsonDocument::fromJson(text).object();
            size_t points = 0;
            if (track) {
                const auto back = PointerPathNote::decode(static_cast<size_t>(json.value(QStringLiteral("count")).toDouble()), json.value(QStringLiteral("track")).toArray());
                points = std::get<PointerPathNote::Positions>(back).xs.size();
            } else {
                const std::vector<double> xs = numbers(json.value(QStringLiteral("xs")).toArray());
                const std::vector<double> ys = numbers(json.value(QStringLiteral("ys")).toArray());
                points = std::min(xs.size(), ys.size());
            }
            if (points == 0)
                std::abort();
            return static_cast<double>(text.size());
        };
    };
    const Step oldWrite = measured(path, writer(&lists, listsFile));
    const Step newWrite = measured(path, writer(&PointerPathNote::encode, trackFile));
    const Step oldRead = measured(path, readBack(listsFile, false));
    const Step newRead = measured(path, readBack(trackFile, true));
    QFile::remove(listsFile);
    QFile::remove(trackFile);

    const double pathMegabytes = static_cast<double>(2 * path.xs.size() * sizeof(double)) / (1024 * 1024);
    std::printf("pointer path of %.1f h: %zu points, %.1f MB in memory\n", hours, path.xs.size(), pathMegabytes);
    std::printf("%-8s %10s %10s %12s %10s %12s\n", "", "note MB", "write s", "write peak", "read s", "read peak");
    std::printf("%-8s %10.1f %10.2f %10.0f MB %10.2f %10.0f MB\n", "lists", oldWrite.noteMegabytes, oldWrite.seconds, oldWrite.peakMegabytes, oldRead.seconds, oldRead.peakMegabytes);
    std::printf("%-8s %10.1f %10.2f %10.0f MB %10.2f %10.0f MB\n", "track", newWrite.noteMegabytes, newWrite.seconds, newWrite.peakMegabytes, newRead.seconds, newRead.peakMegabytes);
    std::printf("track/lists: note %.3f, write time %.3f, write peak %.3f, read time %.3f, read peak %.3f\n", newWrite.noteMegabytes / oldWrite.noteMegabytes,
        newWrite.seconds / oldWrite.seconds, newWrite.peakMegabytes / oldWrite.peakMegabytes, newRead.seconds / oldRead.seconds,
        newRead.peakMegabytes / oldRead.peakMegabytes);
    std::printf("bytes a point: track %.2f, lists %.2f\n", newWrite.noteMegabytes * 1024 * 1024 / static_cast<double>(path.xs.size()),
        oldWrite.noteMegabytes * 1024 * 1024 / static_cast<double>(path.xs.size()));
    return 0;
}
