#include "FinishResumeFixture.h"

#include "finishing/MixdownFinishingTools.h"
#include "finishing/MixdownRequestNote.h"
#include "finishing/PendingNote.h"
#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"
#include "finishing/TakeRecovery.h"
#include "platform/system/JsonSidecar.h"
#include "platform/system/ProcessMemory.h"
#include "support/FakeOverlayRenderer.h"
#include "support/PeakMemory.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

using Piece = std::function<QByteArray(qint64 index)>;
Piece same(const QByteArray& piece) { return [piece](qint64) { return piece; }; }

// `head`, `count` pieces apart by commas, and `tail`, written a megabyte at a time.
bool plant(const QString& at, const QByteArray& head, const Piece& piece, qint64 count, const QByteArray& tail)
{
    QFile file(at);
    bool written = file.open(QIODevice::WriteOnly);
    QByteArray chunk = head;
    for (qint64 i = 0; i < count && written; ++i) {
        chunk += (i ? "," : "") + piece(i);
        if (chunk.size() >= 1024 * 1024) {
            written = file.write(chunk) == chunk.size();
            chunk.clear();
        }
    }
    chunk += tail;
    return written && file.write(chunk) == chunk.size();
}

class NoteCost : public SandboxTest {};

// A pointer that rests all day: the most points a track holds, a byte a side each, so its note is small and
// its plan the largest there is.
PointerPath restingDay()
{
    PointerPath path;
    path.xs.assign(PointerPath::largestCount, 0.5);
    path.ys.assign(PointerPath::largestCount, 0.25);
    return path;
}

// `count` layout stops, each with a reason of `length` characters.
LayoutTimeline layoutReasons(int count, qsizetype length)
{
    LayoutTimeline timeline;
    const QString reason(length, QLatin1Char('r'));
    for (int i = 0; i < count; ++i)
        timeline.stops.push_back({i % 2 ? LayoutState::face : LayoutState::screen, i * 10.0, 0.85, reason, 1});
    return timeline;
}

// A day-long take as the studio plans it: the pointer sampled every ten minutes and resampled for the whole
// day, a click every half minute or so, zooms on them, and the layout stops built from all of it.
Mixdown::Request studioDay()
{
    const double day = PointerPath::latestSampleTime;
    std::vector<std::vector<double>> samples;
    for (double t = 0; t <= day; t += 600)
        samples.push_back({t, std::fmod(t, 7) / 7, std::fmod(t, 5) / 5});
    Mixdown::Request request;
    request.pointer = PointerPath::fromSamples(samples);
    for (double t = 5; t < day - 60; t += 23 + std::fmod(t, 17))
        request.clicks.push_back({t, 0.3 + std::fmod(t, 0.4), 0.6 - std::fmod(t, 0.3)});
    request.showClickHighlight = true;
    request.zoom = ZoomTimeline::build(request.clicks, 2.0);
    request.layoutTimeline = LayoutTimeline::build(day, request.clicks, {}, request.pointer, request.zoom, {}, {});
    request.recordedSeconds = day;
    return request;
}

// What the launch does with a render's note it finds, through its render's start, with the real finishing tools.
class RenderNoteCost : public FinishResumeBase {
protected:
    void SetUp() override
    {
        FinishResumeBase::SetUp();
        // The raw movie is not there: each render ends as soon as it has started, with its plan on its worker.
        controller->finishQueue().setFinishingTools(std::make_shared<MixdownFinishingTools>(FakeOverlayRenderer::factory(record)));
    }
    std::shared_ptr<FakeOverlayRenderer::Record> record = std::make_shared<FakeOverlayRenderer::Record>();
};

} // namespace

// Prints what sweeping a take folder with each planted file costs the launch, above what it held before.
TEST_F(NoteCost, noFileInATakeFolderCostsTheLaunchFourHundredMegabytesWhateverItHolds)
{
    // A finish note of a kind the sweep hands back as it is: one it reads is written anew and read back.
    const QByteArray note = R"({"kind":"short","output":"final.mov",)";
    const QByteArray description = R"({"screen":"raw.mov","preview":"final.mov","camera_segments":[)";
    // Note heads hold seven values before their list, five before their first member.
    const qint64 values = PendingNote::largestNoteValues;
    const qint64 bytes = PendingNote::largestNoteBytes - 1024;
    const QByteArray trackText = '"' + QByteArray(120 * 1000, 'A') + '"';
    const QByteArray escapedText = R"("\n)" + QByteArray(120 * 1000, 'A') + '"';
    const QByteArray deepList = QByteArray(1000, '[') + '0' + QByteArray(1000, ']');
    const Piece member = [](qint64 i) { return "\"k" + QByteArray::number(i) + "\":0"; };
    const struct {
        const char* name;
        bool isDescription;
        QByteArray head;
        Piece piece;
        qint64 count;
        bool read; // else refused before it is parsed
    } cases[] = {
        {"lists of a number, at the value bound", false, note + R"("x":[)", same("[0]"), (values - 6) / 2, false},
        {"lists 1000 deep, at the value bound", false, note + R"("x":[)", same(deepList), (values - 6) / 1001, false},
        {"members, at the value bound", false, note, member, (values - 4) / 2, false},
        {"one text, at the byte bound", false, note + R"("x":[)", same('"' + QByteArray(bytes, 'a') + '"'), 1, false},
        {"one text with an escape, at the byte bound", false, note + R"("x":[)", same(R"("\n)" + QByteArray(bytes, 'a') + '"'), 1, false},
        {"texts of a track's length, at the byte bound", false, note + R"("x":[)", same(trackText), bytes / (trackText.size() + 1), false},
        {"texts with escapes, at the byte bound", false, note + R"("x":[)", same(escapedText), bytes / (escapedText.size() + 1), false},
        {"members, 1.8 million", false, note, member, 1800 * 1000, true},
        // Two short of the bound: the launch adds the relaunch count to a note it resumes.
        {"numbers, at the value bound", false, note + R"("x":[)", same("0"), values - 8, true},
        {"lists of a number, 1 million", false, note + R"("x":[)", same("[0]"), 1000 * 1000, true},
        {"texts of a track's length, 90 MiB", false, note + R"("x":[)", same(trackText), 90 * 1024 * 1024 / (trackText.size() + 1), true},
        {"texts with escapes, 24 MiB", false, note + R"("x":[)", same(escapedText), 24 * 1024 * 1024 / (escapedText.size() + 1), true},
        {"take.json: lists 1000 deep, 16 MiB", true, description, same(deepList), 16 * 1024 * 1024 / 2002, false},
        {"take.json: lists of a number, 16 MiB", true, description, same("[0]"), 16 * 1024 * 1024 / 4 - 100, false},
    };
    std::printf("%-46s %8s  %-7s %s\n", "planted", "MiB", "read", "launch's peak above its own, MB");
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const QString take = path(QStringLiteral("Takes/video 1"));
        ASSERT_TRUE(QDir(path(QStringLiteral("Takes"))).removeRecursively() && QDir().mkpath(take));
        const QString planted = take + (each.isDescription ? QStringLiteral("/take.json") : QStringLiteral("/.final.pending"));
        ASSERT_TRUE(plant(planted, each.head, each.piece, each.count, each.head.endsWith('[') ? "]}" : "}"));
        if (!each.isDescription)
            ASSERT_TRUE(plant(take + QStringLiteral("/take.json"), R"({"screen":"raw.mov","preview":"final.mov"})", same({}), 0, {}));

        const qsizetype logged = readLog().size();
        PeakMemory::reset();
        const long before = ProcessMemory::residentKilobytes();
        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        const double megabytes = static_cast<double>(PeakMemory::kilobytes() - before) * 1024 / 1e6;
        const bool refused = readLog().mid(logged).contains(QStringLiteral(" could not be read"));

        std::printf("%-46s %8.1f  %-7s %.0f\n", each.name, static_cast<double>(QFileInfo(planted).size()) / (1024 * 1024), refused ? "refused" : "read", megabytes);
        EXPECT_LT(megabytes, 400);
        EXPECT_EQ(refused, !each.read);
        // Read, a note's job is handed back, and the description names a final that is not there.
        EXPECT_EQ(found.finishes.size(), !each.isDescription && each.read ? 1u : 0u);
        EXPECT_EQ(found.missingFinals.size(), each.isDescription && each.read ? 1 : 0);
    }
}

// Prints what a render's note costs the launch that finds it, from the sweep through the hand-over to the queue
// to its render's start, above what the launch held before.
TEST_F(RenderNoteCost, noRenderNoteCostsTheLaunchFourHundredMegabytesThroughItsRendersStart)
{
    const QString take = takes(QStringLiteral("video 1"));
    const QString raw = take + QStringLiteral("/raw.mov");
    constexpr qsizetype fourMiB = 4 * 1024 * 1024;
    const struct {
        const char* name;
        std::function<Mixdown::Request()> plan;
        bool cut; // texts longer than the studio writes
    } cases[] = {
        {"the studio's own day-long take", studioDay, false},
        {"a pointer resting all day", [] { Mixdown::Request r; r.pointer = restingDay(); return r; }, false},
        {"4 layout reasons of 4 MiB", [] { Mixdown::Request r; r.layoutTimeline = layoutReasons(4, fourMiB); return r; }, true},
        {"23 layout reasons of 4 MiB", [] { Mixdown::Request r; r.layoutTimeline = layoutReasons(23, fourMiB); return r; }, true},
        {"16 of 4 MiB and a pointer resting all day", [] {
             Mixdown::Request r;
             r.layoutTimeline = layoutReasons(16, fourMiB);
             r.pointer = restingDay();
             return r;
         }, true},
        // Each within its own bound, together at the reading bound.
        {"1440 layout reasons of 64 KiB", [] { Mixdown::Request r; r.layoutTimeline = layoutReasons(1440, PendingNote::longestPlanText); return r; }, true},
    };
    std::printf("%-44s %8s  %s\n", "render note", "MiB", "launch's peak above its own through the render's start, MB");
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        ASSERT_TRUE(QDir(takes({})).removeRecursively() && QDir().mkpath(take));
        write(take + QStringLiteral("/take.json"), R"({"screen":"raw.mov","preview":"final.mov"})");
        {
            Mixdown::Request request = each.plan();
            request.rawURL = raw;
            request.layout = ScreenLayout::studio;
            ASSERT_TRUE(PendingRender::write({QStringLiteral("video 1 · take 1 video"), QStringLiteral("video video 1 · take 1"), take + QStringLiteral("/final.mov"),
                take + QStringLiteral("/stop.json"), std::move(request), 0, std::nullopt, nullptr}));
        }
        const double noteMiB = static_cast<double>(QFileInfo(take + QStringLiteral("/.final.pending")).size()) / (1024 * 1024);

        const qsizetype logged = readLog().size();
        PeakMemory::reset();
        const long before = ProcessMemory::residentKilobytes();
        std::vector<FinishWork::Outcome> outcomes;
        {
            TakeRecovery::Findings found = TakeRecovery::sweep({takes({})});
            // As the launch hands them to its queue.
            for (PendingRender::Job& render : found.renders)
                outcomes.push_back(answer(controller->finishQueue().submit(std::make_shared<RenderWork>(std::move(render)))));
        }
        const double megabytes = static_cast<double>(PeakMemory::kilobytes() - before) * 1024 / 1e6;
        std::printf("%-44s %8.1f  %.0f\n", each.name, noteMiB, megabytes);
        EXPECT_LT(megabytes, 400);

        // Its render started with the plan, and stopped for want of the raw movie.
        ASSERT_EQ(outcomes.size(), 1u);
        ASSERT_TRUE(outcomes[0].failure);
        EXPECT_TRUE(outcomes[0].failure->description.startsWith(QStringLiteral("Could not read the raw recording"))) << outcomes[0].failure->description.toStdString();
        EXPECT_EQ(readLog().mid(logged).contains(QStringLiteral("read cut short")), each.cut);
        controller->finishQueue().dismissFinishJob(row(0).id);
    }
}

namespace {

// A take of `seconds` whose every list holds as many entries as a take of its length can: a click and a zoom
// every frame (a key each), a layout stop every frame, the camera and the phone parted at every gap, the front
// window changing each dwell, the cursor's shape each look and the pointer sampled throughout.
Mixdown::Request everyListAtItsBound(double seconds)
{
    const MixdownRequestNote::MostEntries most = MixdownRequestNote::mostEntries(seconds);
    const auto at = [&](qsizetype i, qsizetype count) { return seconds * static_cast<double>(i) / static_cast<double>(count); };
    Mixdown::Request r;
    for (qsizetype i = 0; i < most.perFrame; ++i) {
        const double t = at(i, most.perFrame);
        r.clicks.push_back({t, 0.25, 0.75});
        r.zoom.segments.push_back({t, t + 0.01, t + 0.02, t + 0.03, {{t, {0.25, 0.75}, 1.8}}, QStringLiteral("clicks")});
        r.layoutTimeline.stops.push_back({i % 2 ? LayoutState::face : LayoutState::screen, t, 0.85, QStringLiteral("burst"), 1});
    }
    r.zoom.maxScale = 2;
    for (qsizetype i = 0; i < most.spans; ++i) {
        r.cameraSegments.push_back({at(i, most.spans), at(i, most.spans) + 0.01});
        r.phoneSegments.push_back({at(i, most.spans), at(i, most.spans) + 0.01});
    }
    r.focus = FocusPath();
    for (qsizetype i = 1; i < most.windows; ++i)
        r.focus->keys.push_back({at(i, most.windows), QRectF(0.1, 0.1, 0.5, 0.5)});
    PointerPath pointer;
    pointer.start = PointerPath::earliestSampleTime;
    pointer.xs.assign(static_cast<size_t>(most.positions), 0.5);
    pointer.ys.assign(static_cast<size_t>(most.positions), 0.25);
    for (qsizetype i = 0; i < most.shapes; ++i)
        pointer.shapeKeys.push_back({at(i, most.shapes), i % 2 ? CursorShape::hand : CursorShape::iBeam});
    r.pointer = std::move(pointer);
    r.recordedSeconds = seconds;
    return r;
}

Mixdown::Request takeOf(double seconds)
{
    Mixdown::Request r;
    r.recordedSeconds = seconds;
    return r;
}

} // namespace

// Prints what a render's note of long lists costs the launch that finds it through its render's start, above
// what the launch held before, and how long the launch is held: each list is read no longer than a take of the
// note's own length holds, and an entry no studio writes is refused, never read as a default.
TEST_F(RenderNoteCost, noListHeavyRenderNoteCostsTheLaunchFourHundredMegabytesThroughItsRendersStart)
{
    const QString take = takes(QStringLiteral("video 1"));
    const QString output = take + QStringLiteral("/final.mov");
    const QString marker = take + QStringLiteral("/.final.pending");
    constexpr qint64 million = 1000 * 1000;
    // The note's own values besides the planted list.
    const qint64 values = PendingNote::largestNoteValues - 200;
    const struct {
        const char* name;
        std::function<Mixdown::Request()> plan;
        // Planted in place of the plan's empty list of this name, as no studio writes it.
        QByteArray list;
        QByteArray piece;
        qint64 count;
        // What the refusal names; empty: the render starts.
        QString refused;
    } cases[] = {
        // A longer take's note of every list at its bound needs more than a note may take to read.
        {"every list at its bound, a 10-minute take", [] { return everyListAtItsBound(600); }, {}, {}, 0, {}},
        // About as many as a note may take to read.
        {"700 000 clicks, a day's take", [] {
             Mixdown::Request r = takeOf(PointerPath::latestSampleTime);
             for (qint64 i = 0; i < 700 * 1000; ++i)
                 r.clicks.push_back({static_cast<double>(i) / 30, 0.5, 0.5});
             return r;
         }, {}, {}, 0, {}},
        {"1 M zooms as bare numbers", [] { return takeOf(0); }, "segments", "0", million, QStringLiteral("a zoom that is not a group of values")},
        {"4 M zooms as bare numbers", [] { return takeOf(0); }, "segments", "0", 4 * million, QStringLiteral("a zoom that is not a group of values")},
        {"zooms as bare numbers, at the value bound", [] { return takeOf(0); }, "segments", "0", values,
            QStringLiteral("%1 zooms for a take of unknown length").arg(values)},
        {"1 M empty zooms", [] { return takeOf(0); }, "segments", "{}", million, QStringLiteral("a zoom without its start")},
        {"1 M layout stops as bare numbers", [] { return takeOf(0); }, "stops", "7", million, QStringLiteral("a layout stop that is not a group of values")},
        {"500 000 clicks, a minute's take", [] { return takeOf(60); }, "clicks", "[1,0.5,0.5]", million / 2, QStringLiteral("500000 clicks for a 60 s take")},
        {"100 000 camera spans as nulls", [] { return takeOf(0); }, "cameraSegments", "null", million / 10, QStringLiteral("a camera span that is not 2 numbers")},
    };
    std::printf("%-44s %8s  %-9s %s\n", "render note", "MiB", "seconds", "launch's peak above its own through the render's start, MB");
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        ASSERT_TRUE(QDir(takes({})).removeRecursively() && QDir().mkpath(take));
        write(take + QStringLiteral("/take.json"), R"({"screen":"raw.mov","preview":"final.mov"})");
        {
            Mixdown::Request request = each.plan();
            request.rawURL = take + QStringLiteral("/raw.mov");
            request.layout = ScreenLayout::studio;
            const PendingRender::Job job{QStringLiteral("video 1 · take 1 video"), QStringLiteral("video video 1 · take 1"), output,
                take + QStringLiteral("/stop.json"), std::move(request), 0, std::nullopt, nullptr};
            if (each.list.isEmpty()) {
                ASSERT_TRUE(PendingRender::write(job)) << readLog().toStdString();
            } else {
                const QByteArray note = JsonSidecar::encoded(PendingRender::note(job).content, JsonSidecar::Layout::compact);
                const QByteArray empty = '"' + each.list + "\":[]";
                const qsizetype at = note.indexOf(empty);
                ASSERT_GE(at, 0);
                ASSERT_TRUE(plant(marker, note.left(at + empty.size() - 1), same(each.piece), each.count, note.mid(at + empty.size() - 1)));
            }
        }
        const double noteMiB = static_cast<double>(QFileInfo(marker).size()) / (1024 * 1024);

        PeakMemory::reset();
        const long before = ProcessMemory::residentKilobytes();
        QElapsedTimer held;
        held.start();
        std::vector<FinishWork::Outcome> outcomes;
        {
            TakeRecovery::Findings found = TakeRecovery::sweep({takes({})});
            for (PendingRender::Job& render : found.renders)
                outcomes.push_back(answer(controller->finishQueue().submit(std::make_shared<RenderWork>(std::move(render)))));
        }
        const double seconds = static_cast<double>(held.elapsed()) / 1000;
        const double megabytes = static_cast<double>(PeakMemory::kilobytes() - before) * 1024 / 1e6;
        std::printf("%-44s %8.1f  %-9.1f %.0f\n", each.name, noteMiB, seconds, megabytes);
        EXPECT_LT(megabytes, 400);

        ASSERT_EQ(outcomes.size(), 1u);
        ASSERT_TRUE(outcomes[0].failure);
        const QString failure = outcomes[0].failure->description;
        if (each.refused.isEmpty()) {
            // Its render started with the plan, and stopped for want of the raw movie.
            EXPECT_TRUE(failure.startsWith(QStringLiteral("Could not read the raw recording"))) << failure.toStdString();
        } else {
            EXPECT_EQ(failure, QStringLiteral("final.mov was not made: its note holds ") + each.refused
                    + QStringLiteral(", which no studio writes; the take's files stay as they are"));
            EXPECT_TRUE(QFile::exists(take + QStringLiteral("/take.json")));
        }
        controller->finishQueue().dismissFinishJob(row(0).id);
    }
}
