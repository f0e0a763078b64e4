#include "finishing/MixdownRequestNote.h"
#include "finishing/PendingRender.h"
#include "finishing/PointerPathNote.h"
#include "platform/system/ProcessMemory.h"
#include "support/PeakMemory.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

namespace {

// Half a step of the track: what rounding may move a position by.
constexpr double precision = 0.5 / PointerPathNote::stepsPerSide;

// What one step of the note took, printed: no machine promises a time or a size.
struct Measured {
    double seconds;
    double peakMegabytes; // above what the process held before
};
Measured measure(const std::function<void()>& step)
{
    PeakMemory::reset();
    const long before = ProcessMemory::residentKilobytes();
    const auto start = std::chrono::steady_clock::now();
    step();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, static_cast<double>(PeakMemory::kilobytes() - before) / 1024};
}

// A screen take of `seconds` whose pointer never rests: it wanders across the screen, with a quick trip to
// somewhere else every half minute, as the tracker logs it (60 times a second, four places). A click every few
// seconds where the pointer is, zooms on them, a cursor shape change with each click.
Mixdown::Request movingTake(double seconds)
{
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<std::vector<double>> samples;
    samples.reserve(static_cast<size_t>(seconds * 60) + 1);
    Mixdown::Request request;
    request.rawURL = QStringLiteral("/takes/long/raw.mov");
    double awayX = 0, awayY = 0;
    for (double t = 0; t <= seconds; t += 1.0 / 60) {
        if (std::fmod(t, 30) < 1.0 / 60) {
            awayX = 0.6 * unit(random) - 0.3;
            awayY = 0.6 * unit(random) - 0.3;
        }
        const double x = 0.5 + awayX + 0.15 * std::sin(t * 0.9) + 0.04 * std::sin(t * 5.3);
        const double y = 0.5 + awayY + 0.12 * std::cos(t * 0.7) + 0.03 * std::cos(t * 4.1);
        samples.push_back({t, std::round(x * 1e4) / 1e4, std::round(y * 1e4) / 1e4});
    }
    for (double t = 1; t < seconds; t += 1.5 + 3 * unit(random)) {
        const auto& at = samples[static_cast<size_t>(t * 60)];
        request.clicks.push_back({t, at[1], at[2]});
    }
    request.pointer = PointerPath::fromSamples(samples);
    for (const Click& click : request.clicks)
        request.pointer->shapeKeys.push_back({click.time, request.pointer->shapeKeys.size() % 2 ? CursorShape::hand : CursorShape::iBeam});
    request.zoom = ZoomTimeline::build(request.clicks, 2.0);
    request.showClickHighlight = true;
    request.recordedSeconds = seconds;
    return request;
}

double farthestApart(const std::vector<double>& a, const std::vector<double>& b)
{
    double farthest = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        farthest = std::max(farthest, std::abs(a[i] - b[i]));
    return farthest;
}

class LongNote : public SandboxTest {
protected:
    // Writes the render's note of `request`, reads it back as the next launch does and checks the pointer
    // lands where it was, within half a step; prints what it took.
    void roundTrip(const Mixdown::Request& request, const char* what)
    {
        const QString finalURL = path(QStringLiteral("final.mov"));
        const PendingRender::Job job{QStringLiteral("long · take 1"), QStringLiteral("long"), finalURL, QString(), request, 0, std::nullopt};
        bool written = false;
        const Measured writing = measure([&] { written = PendingRender::write(job); });
        ASSERT_TRUE(written) << readLog().toStdString();
        const double noteMegabytes = static_cast<double>(QFileInfo(PendingRender::markerPath(finalURL)).size()) / (1024 * 1024);

        std::optional<PendingRender::Job> read;
        const Measured reading = measure([&] { read = PendingRender::read(PendingRender::markerPath(finalURL)); });
        ASSERT_TRUE(read);
        EXPECT_EQ(read->unwritten, std::nullopt);
        const PointerPath& kept = *request.pointer;
        ASSERT_TRUE(read->request.pointer);
        const PointerPath& back = *read->request.pointer;
        ASSERT_EQ(back.xs.size(), kept.xs.size());
        ASSERT_EQ(back.ys.size(), kept.ys.size());
        EXPECT_LE(farthestApart(back.xs, kept.xs), precision);
        EXPECT_LE(farthestApart(back.ys, kept.ys), precision);
        EXPECT_EQ(back.start, kept.start);
        ASSERT_EQ(back.shapeKeys.size(), kept.shapeKeys.size());
        for (size_t i = 0; i < kept.shapeKeys.size(); ++i) {
            EXPECT_EQ(back.shapeKeys[i].time, kept.shapeKeys[i].time);
            EXPECT_EQ(back.shapeKeys[i].shape, kept.shapeKeys[i].shape);
        }
        EXPECT_EQ(read->request.clicks, request.clicks);
        EXPECT_EQ(read->request.zoom.segments, request.zoom.segments);
        EXPECT_EQ(read->request.recordedSeconds, request.recordedSeconds);

        const double pathMegabytes = static_cast<double>(2 * kept.xs.size() * sizeof(double)) / (1024 * 1024);
        std::printf("%s: %zu points, note %.1f MB (path in memory %.1f MB); write %.2f s, peak +%.0f MB; read %.2f s, peak +%.0f MB\n", what,
            kept.xs.size(), noteMegabytes, pathMegabytes, writing.seconds, writing.peakMegabytes, reading.seconds, reading.peakMegabytes);
    }
};

// A note of the plan as written, as the next launch decodes it.
MixdownRequestNote::Decoded decoded(const QJsonObject& plan)
{
    std::optional<MixdownRequestNote::Decoded> found = MixdownRequestNote::decode(plan);
    return found ? std::move(*found) : MixdownRequestNote::Decoded{};
}

QString base64(std::initializer_list<unsigned char> bytes)
{
    QByteArray raw;
    for (unsigned char b : bytes)
        raw.append(static_cast<char>(b));
    return QString::fromLatin1(raw.toBase64());
}

} // namespace

TEST_F(LongNote, anEightHourScreenTakeWithThePointerAlwaysMovingKeepsItsNoteAndReadsBackWithinHalfAStep)
{
    const Mixdown::Request request = movingTake(8 * 3600);
    ASSERT_TRUE(request.pointer);
    ASSERT_NO_FATAL_FAILURE(roundTrip(request, "8 h, pointer always moving"));
}

TEST_F(LongNote, aTakeAsLongAsTheReaderAcceptsKeepsItsNote)
{
    // From the earliest sample time to the latest: the most points a path has. The pointer rests between
    // moves, which keeps this cheap; a moving one costs a few bytes a point more, and the cap allows for
    // the worst a point can take (below).
    std::vector<std::vector<double>> samples;
    for (double t = PointerPath::earliestSampleTime; t < PointerPath::latestSampleTime; t += 600)
        samples.push_back({t, std::fmod(t, 7) / 7, std::fmod(t, 5) / 5});
    samples.push_back({PointerPath::latestSampleTime, 0.5, 0.5});
    Mixdown::Request request;
    request.rawURL = QStringLiteral("/takes/long/raw.mov");
    request.pointer = PointerPath::fromSamples(samples);
    request.recordedSeconds = PointerPath::latestSampleTime;
    ASSERT_TRUE(request.pointer);
    EXPECT_LE(request.pointer->xs.size(), PointerPath::largestCount);
    EXPECT_GE(request.pointer->xs.size(), PointerPath::largestCount - 2);
    ASSERT_NO_FATAL_FAILURE(roundTrip(request, "a day"));
}

TEST(PointerTrack, aPathThatLeapsBetweenTheFarthestPositionsEveryPointTakesNoMoreThanTheNoteAllowsFor)
{
    // Two strings of the worst: every point lands as far as it can from where the path was heading.
    PointerPath path;
    for (size_t i = 0; i < 2 * PointerPathNote::pointsPerString; ++i) {
        const double edge = (i / 2) % 2 ? Mixdown::largestSide : -Mixdown::largestSide;
        path.xs.push_back(edge);
        path.ys.push_back(-edge);
    }
    const QJsonObject json = PointerPathNote::encode(path);
    qsizetype bytes = 0;
    for (const QJsonValue& each : json.value(QStringLiteral("track")).toArray())
        bytes += each.toString().size() + 3;
    const double perPoint = static_cast<double>(PointerPathNote::largestTrackBytes) / static_cast<double>(PointerPath::largestCount);
    EXPECT_LE(static_cast<double>(bytes) / static_cast<double>(path.xs.size()), perPoint);
    // ...and reads back exactly: the edges are whole steps.
    const auto back = PointerPathNote::decode(path.xs.size(), json.value(QStringLiteral("track")).toArray());
    ASSERT_TRUE(std::holds_alternative<PointerPathNote::Positions>(back)) << std::get<QString>(back).toStdString();
    EXPECT_EQ(std::get<PointerPathNote::Positions>(back).xs, path.xs);
    EXPECT_EQ(std::get<PointerPathNote::Positions>(back).ys, path.ys);
}

TEST(PointerTrack, aNoteWrittenWithListsOfPositionsReadsExactlyAsBefore)
{
    Mixdown::Request request;
    request.rawURL = QStringLiteral("/takes/t/raw.mov");
    request.clicks = {{1.5, 0.25, 0.75}, {4.0, 0.5, 0.5}};
    request.pointer = PointerPath::fromClicks(request.clicks);
    request.pointer->shapeKeys = {{1.0, CursorShape::iBeam}};
    ASSERT_TRUE(request.pointer);
    QJsonObject plan = MixdownRequestNote::encode(request);
    // The pointer as notes kept it before the track: every position a JSON number.
    QJsonArray xs, ys;
    for (size_t i = 0; i < request.pointer->xs.size(); ++i) {
        xs.append(request.pointer->xs[i]);
        ys.append(request.pointer->ys[i]);
    }
    plan.insert(QStringLiteral("pointer"), QJsonObject{{QStringLiteral("start"), request.pointer->start}, {QStringLiteral("xs"), xs},
        {QStringLiteral("ys"), ys}, {QStringLiteral("shapes"), QJsonArray{QJsonArray{1.0, static_cast<int>(CursorShape::iBeam)}}}});
    const MixdownRequestNote::Decoded back = decoded(plan);
    EXPECT_EQ(back.unwritten, std::nullopt);
    ASSERT_TRUE(back.request.pointer);
    EXPECT_EQ(back.request.pointer->xs, request.pointer->xs);
    EXPECT_EQ(back.request.pointer->ys, request.pointer->ys);
    EXPECT_EQ(back.request.pointer->start, request.pointer->start);
    ASSERT_EQ(back.request.pointer->shapeKeys.size(), 1u);
    EXPECT_EQ(back.request.pointer->shapeKeys[0].shape, CursorShape::iBeam);
}

TEST(PointerTrack, aTrackNoStudioWritesIsNamedAndSetsNothingAsideForItsCount)
{
    Mixdown::Request request;
    request.rawURL = QStringLiteral("/takes/t/raw.mov");
    request.pointer = PointerPath::fromClicks({{1.5, 0.25, 0.75}, {4.0, 0.5, 0.5}});
    ASSERT_TRUE(request.pointer);
    const QJsonObject plan = MixdownRequestNote::encode(request);
    const QJsonObject pointer = plan.value(QStringLiteral("pointer")).toObject();
    const double count = pointer.value(QStringLiteral("count")).toDouble();
    ASSERT_EQ(count, static_cast<double>(request.pointer->xs.size()));
    const QString sevenByteStep = base64({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00});
    // 16385 sides: zigzag(16385 × 2²⁰) = 16385 × 2²¹, as a varint.
    const QString beyondTheEdge = base64({0x80, 0x80, 0x80, 0x81, 0x80, 0x01, 0x00});

    const struct {
        const char* name;
        QJsonObject edits;
        const char* said; // nothing: read as written
    } cases[] = {
        {"as the studio writes it", {}, nullptr},
        {"a count one short of the track", {{QStringLiteral("count"), count - 1}}, "a pointer path of %1 points whose track holds more"},
        {"a count one past the track", {{QStringLiteral("count"), count + 1}}, "a pointer path of %2 points whose track holds fewer"},
        {"a count of a day for a short track", {{QStringLiteral("count"), static_cast<double>(PointerPath::largestCount)}},
            "a pointer path of 10368122 points whose track holds fewer"},
        {"a count beyond a day", {{QStringLiteral("count"), static_cast<double>(PointerPath::largestCount) + 1}}, "a pointer path length of 10368123"},
        {"a count that was not a number", {{QStringLiteral("count"), QJsonValue::Null}}, "a pointer path length that is missing"},
        {"a count in words", {{QStringLiteral("count"), QStringLiteral("NaN")}}, "a pointer path length that is not a number"},
        {"a count in halves", {{QStringLiteral("count"), 2.5}}, "a pointer path length of 2.5"},
        {"a track that is text", {{QStringLiteral("track"), QStringLiteral("AAAA")}}, "a pointer track that is not a list"},
        {"a track of numbers", {{QStringLiteral("count"), 1}, {QStringLiteral("track"), QJsonArray{0, 0}}}, "a pointer track that is not text"},
        {"a track that is not base64", {{QStringLiteral("count"), 1}, {QStringLiteral("track"), QJsonArray{QStringLiteral("AA*A")}}},
            "a pointer track that is not base64"},
        {"a track cut between x and y", {{QStringLiteral("count"), 1}, {QStringLiteral("track"), QJsonArray{base64({0x00})}}},
            "a pointer track cut inside a point"},
        {"a step of seven bytes", {{QStringLiteral("count"), 1}, {QStringLiteral("track"), QJsonArray{sevenByteStep}}},
            "a pointer track step of more than 6 bytes"},
        {"a position beyond the largest side", {{QStringLiteral("count"), 1}, {QStringLiteral("track"), QJsonArray{beyondTheEdge}}},
            "a pointer position of 16385"},
        {"a track and lists", {{QStringLiteral("xs"), QJsonArray{0.5}}, {QStringLiteral("ys"), QJsonArray{0.5}}},
            "a pointer path kept both as a track and as lists"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        QJsonObject edited = pointer;
        for (auto it = each.edits.begin(); it != each.edits.end(); ++it)
            edited.insert(it.key(), it.value());
        QJsonObject note = plan;
        note.insert(QStringLiteral("pointer"), edited);
        const MixdownRequestNote::Decoded back = decoded(note);
        if (!each.said) {
            EXPECT_EQ(back.unwritten, std::nullopt);
            ASSERT_TRUE(back.request.pointer);
            EXPECT_LE(farthestApart(back.request.pointer->xs, request.pointer->xs), precision);
            EXPECT_LE(farthestApart(back.request.pointer->ys, request.pointer->ys), precision);
            continue;
        }
        const QString said = QString::fromUtf8(each.said).replace(QStringLiteral("%1"), QString::number(count - 1)).replace(QStringLiteral("%2"), QString::number(count + 1));
        EXPECT_EQ(back.unwritten, said);
    }
}
