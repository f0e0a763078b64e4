#include "FinishResumeFixture.h"

#include "finishing/MixdownFinishingTools.h"
#include "finishing/MixdownRequestNote.h"
#include "finishing/PendingNote.h"
#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"
#include "shortexport/ShortExportWork.h"
#include "support/FakeOverlayRenderer.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A resume note is a file in the user's folder: the launch finishes a take where the note now is, and acts
// only on what a studio writes.
class NoteInput : public FinishResumeBase {
protected:
    // A saved screen take in `take` whose render was cut short, noted with a plan as the studio writes it.
    Mixdown::Request savedTake(const QString& take)
    {
        QDir().mkpath(take);
        write(take + QStringLiteral("/raw.mov"), "raw");
        write(take + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
        Mixdown::Request request;
        request.rawURL = take + QStringLiteral("/raw.mov");
        request.bubbleRect = QRectF(1500, 80, 360, 360);
        request.bubbleCornerRadius = 180;
        request.cameraSegments = {{0.0, 12.4}, {15.0, 60.2}};
        request.clicks = {{1.5, 0.25, 0.75}, {4.0, 0.5, 0.5}};
        request.zoom = ZoomTimeline::build(request.clicks, 1.9);
        request.showClickHighlight = true;
        request.layout = ScreenLayout::studio;
        request.background = StudioBackground::darkRoom;
        request.layoutTimeline = LayoutTimeline::fixed();
        request.outputSize = QSizeF(3840, 2160);
        request.pointer = PointerPath::fromClicks(request.clicks);
        request.recordedSeconds = 62.0;
        return request;
    }
    static void writeNote(const QString& take, const QJsonObject& content)
    {
        ASSERT_TRUE(PendingNote::write({take + QStringLiteral("/.final.pending"), content}));
    }
    // The only take a saved take in `take`, its render cut short, noted with its plan as `edit` leaves it.
    void noteEdited(const QString& take, const std::function<void(QJsonObject& request)>& edit)
    {
        ASSERT_TRUE(QDir(takes(QString())).removeRecursively());
        controller->finishQueue().setFinishJobs({});
        tools->renders.clear();
        const Mixdown::Request request = savedTake(take);
        QJsonObject note = PendingRender::note({QStringLiteral("video 1 · take 1"), QStringLiteral("video 1"), take + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt}).content;
        QJsonObject plan = note.value(QStringLiteral("request")).toObject();
        edit(plan);
        note.insert(QStringLiteral("request"), plan);
        ASSERT_NO_FATAL_FAILURE(writeNote(take, note));
    }
    // The studio's own finishing tools, drawing with a stand-in compositor.
    void renderForReal()
    {
        controller->finishQueue().setFinishingTools(std::make_shared<MixdownFinishingTools>(FakeOverlayRenderer::factory(std::make_shared<FakeOverlayRenderer::Record>())));
        controller->setPhase(RecordingPhase::idle());
    }
    static bool makeFifo(const QString& at) { return ::mkfifo(QFile::encodeName(at).constData(), 0600) == 0; }
    static bool link(const QString& target, const QString& at) { return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0; }

    // Runs `work` while a watchdog answers, after a while, whatever waits on a FIFO in `folders`: were the
    // work to wait on one, it returns all the same and the answer says so.
    static bool waitedOnAFifo(const QStringList& folders, const std::function<void()>& work)
    {
        std::atomic<bool> over{false};
        std::atomic<bool> rescued{false};
        std::thread watchdog([&] {
            const auto since = std::chrono::steady_clock::now();
            while (!over) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (std::chrono::steady_clock::now() - since < std::chrono::seconds(10))
                    continue;
                for (const QString& folder : folders) {
                    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::System | QDir::Hidden | QDir::Files)) {
                        const QByteArray name = QFile::encodeName(file.filePath());
                        struct stat status {};
                        if (::stat(name.constData(), &status) != 0 || !S_ISFIFO(status.st_mode))
                            continue;
                        // Opens only while a reader waits; closing at once hands that reader an empty file.
                        const int end = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
                        if (end >= 0) {
                            ::close(end);
                            rescued = true;
                        }
                    }
                }
            }
        });
        work();
        over = true;
        watchdog.join();
        return rescued;
    }
};

} // namespace

TEST_F(NoteInput, aRenderCutShortInAFolderRenamedSinceReadsItsMoviesBesideItsNoteAtTheLaunchAndAtTheRetry)
{
    const QString recorded = takes(QStringLiteral("video 2"));
    Mixdown::Request request = savedTake(recorded);
    write(recorded + QStringLiteral("/camera.mov"), "camera");
    write(recorded + QStringLiteral("/iphone.mov"), "phone");
    request.cameraURL = recorded + QStringLiteral("/camera.mov");
    request.phoneURL = recorded + QStringLiteral("/iphone.mov");
    // A movie still where the note names it is read there, even with one of its name beside the note.
    QDir().mkpath(path(QStringLiteral("Phone")));
    write(path(QStringLiteral("Phone/iphone.mov")), "the phone's own");
    request.phoneURL = path(QStringLiteral("Phone/iphone.mov"));
    ASSERT_TRUE(PendingRender::write({QStringLiteral("video 2 · take 1"), QStringLiteral("video 2"), recorded + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt}));
    // The take's folder is renamed while its final renders; the render fails at its end and the studio ends.
    const QString moved = takes(QStringLiteral("intro take"));
    ASSERT_TRUE(QDir().rename(recorded, moved));

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.renders.size(), 1u);
    // The resumed render fails once more for a reason of its own; the Retry reads the same movies.
    tools->failRenders = 1;
    ASSERT_TRUE(answer(controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front()))).failure);
    controller->finishQueue().retryFinishJob(row(0).id);
    ASSERT_EQ(tools->renders.size(), 2u);
    for (const auto& render : tools->renders) {
        EXPECT_EQ(render->request.rawURL, moved + QStringLiteral("/raw.mov"));
        EXPECT_EQ(render->request.cameraURL, moved + QStringLiteral("/camera.mov"));
        EXPECT_EQ(render->request.phoneURL, path(QStringLiteral("Phone/iphone.mov")));
        EXPECT_EQ(render->finalPath, moved + QStringLiteral("/final.mov"));
    }
    EXPECT_EQ(row(0).state.kind, FinishJob::State::Kind::done);
    EXPECT_TRUE(QFileInfo::exists(moved + QStringLiteral("/final.mov")));
    EXPECT_TRUE(QFileInfo::exists(moved + QStringLiteral("/Raw/raw.mov")));
    EXPECT_FALSE(QFileInfo::exists(recorded));
    EXPECT_FALSE(QFileInfo::exists(moved + QStringLiteral("/.final.pending")));
}

TEST_F(NoteInput, aTakeRecordedUnderTheOldNameOfARenamedTakeFolderLeavesEachResumedRenderItsOwnMovies)
{
    // "video 2" was renamed "intro take" while its final rendered; the next take went into a new "video 2",
    // and the studio ended with both renders noted.
    const QString recorded = takes(QStringLiteral("video 2"));
    const QString moved = takes(QStringLiteral("intro take"));
    Mixdown::Request first = savedTake(recorded);
    first.cameraURL = recorded + QStringLiteral("/face.mov");
    first.phoneURL = recorded + QStringLiteral("/iphone.mov");
    first.recordedSeconds = 16.9;
    write(recorded + QStringLiteral("/face.mov"), "the first take's face");
    write(recorded + QStringLiteral("/iphone.mov"), "the first take's phone");
    ASSERT_TRUE(PendingRender::write({QStringLiteral("video 2 · take 1 video"), QStringLiteral("video 2"), recorded + QStringLiteral("/final.mov"), QString(), first, 0, std::nullopt}));
    ASSERT_TRUE(QDir().rename(recorded, moved));
    Mixdown::Request second = savedTake(recorded);
    second.cameraURL = recorded + QStringLiteral("/face.mov");
    second.recordedSeconds = 6.4;
    write(recorded + QStringLiteral("/raw.mov"), "the second take's raw");
    write(recorded + QStringLiteral("/face.mov"), "the second take's face");
    // A phone movie of the first take's name, recorded by the second: still not the first take's.
    write(recorded + QStringLiteral("/iphone.mov"), "the second take's phone");
    ASSERT_TRUE(PendingRender::write({QStringLiteral("video 2 · take 1 video"), QStringLiteral("video 2"), recorded + QStringLiteral("/final.mov"), QString(), second, 0, std::nullopt}));

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.renders.size(), 2u);
    for (const PendingRender::Job& job : found.renders) {
        const QString takeFolder = QFileInfo(job.finalURL).absolutePath();
        SCOPED_TRACE(takeFolder.toStdString());
        EXPECT_EQ(job.request.rawURL, takeFolder + QStringLiteral("/raw.mov"));
        EXPECT_EQ(job.request.cameraURL, takeFolder + QStringLiteral("/face.mov"));
        if (takeFolder == moved)
            EXPECT_EQ(job.request.phoneURL, moved + QStringLiteral("/iphone.mov"));
        else
            EXPECT_FALSE(job.request.phoneURL);
        EXPECT_EQ(job.request.recordedSeconds, takeFolder == moved ? 16.9 : 6.4);
    }
}

TEST_F(NoteInput, aRenderNoteWithNumbersNoStudioWritesFailsOnItsRowAndKeepsTheTakesFiles)
{
    using Edit = std::function<void(QJsonObject& request)>;
    const auto set = [](const char* key, QJsonValue value) -> Edit {
        return [key, value](QJsonObject& request) { request.insert(QLatin1String(key), value); };
    };
    const auto exportRange = [](QJsonValue startTimescale, QJsonValue durationValue) -> Edit {
        return [=](QJsonObject& request) {
            request.insert(QStringLiteral("exportRange"),
                QJsonObject{{QStringLiteral("start"), QJsonObject{{QStringLiteral("value"), 0}, {QStringLiteral("timescale"), startTimescale}}},
                    {QStringLiteral("duration"), QJsonObject{{QStringLiteral("value"), durationValue}, {QStringLiteral("timescale"), 600}}}});
        };
    };
    // A range in 600ths of a second of the 62 s take.
    const auto rangeFrom = [](double startValue, double durationValue) -> Edit {
        return [=](QJsonObject& request) {
            request.insert(QStringLiteral("exportRange"),
                QJsonObject{{QStringLiteral("start"), QJsonObject{{QStringLiteral("value"), startValue}, {QStringLiteral("timescale"), 600}}},
                    {QStringLiteral("duration"), QJsonObject{{QStringLiteral("value"), durationValue}, {QStringLiteral("timescale"), 600}}}});
        };
    };
    const struct {
        const char* name;
        Edit edit;
        const char* said; // nothing: the plan is one a studio writes and renders
    } cases[] = {
        {"as the studio writes it", [](QJsonObject&) {}, nullptr},
        {"a valid export range", exportRange(600, 1200), nullptr},
        {"a range running past the take's end", rangeFrom(600 * 60, 600 * 10), nullptr},
        {"a range of one frame", rangeFrom(600 * 30, 10), nullptr},
        {"the range that made an empty final", rangeFrom(600 * 70, 600), "an export start at 70 s, past the end of the 62 s take"},
        {"the range that made a one-picture final", rangeFrom(0, 1), "an export range of 0.00166667 s of the take, less than one frame"},
        {"a range in the take's last frame", rangeFrom(37197, 600), "an export range of 0.005 s of the take, less than one frame"},
        {"the frame rate that made one picture", set("frameRate", 2147483647), "a frame rate of 2147483647"},
        {"a negative frame rate", set("frameRate", -60), "a frame rate of -60"},
        {"a frame rate in words", set("frameRate", QStringLiteral("NaN")), "a frame rate that is not a number"},
        {"the timescale that made an empty final", exportRange(0, 1200), "an export timescale of 0"},
        {"a negative export length", exportRange(600, -600), "an export length of -600"},
        {"a huge output", set("outputSize", QJsonArray{1e9, 1e9}), "an output width of 1000000000"},
        {"a recorded length in words", set("recordedSeconds", QStringLiteral("NaN")), "a recorded length that is not a number"},
        {"an unknown layout", set("layout", 7), "a screen layout of 7"},
        {"a bubble in words", set("bubbleRect", QJsonArray{QStringLiteral("NaN"), 0, 360, 360}), "a camera bubble that is not a number"},
        {"a pointer path out of step",
            [](QJsonObject& request) {
                // As notes kept the positions before the track: lists of numbers.
                QJsonObject pointer = request.value(QStringLiteral("pointer")).toObject();
                pointer.remove(QStringLiteral("count"));
                pointer.remove(QStringLiteral("track"));
                pointer.insert(QStringLiteral("xs"), QJsonArray{0.25, 0.5, 0.5});
                pointer.insert(QStringLiteral("ys"), QJsonArray{0.75, 0.5});
                request.insert(QStringLiteral("pointer"), pointer);
            },
            "a pointer path of "},
        {"a pointer track longer than its count",
            [](QJsonObject& request) {
                QJsonObject pointer = request.value(QStringLiteral("pointer")).toObject();
                pointer.insert(QStringLiteral("count"), pointer.value(QStringLiteral("count")).toDouble() - 1);
                request.insert(QStringLiteral("pointer"), pointer);
            },
            "a pointer path of "},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const QString take = takes(QStringLiteral("video 1"));
        ASSERT_NO_FATAL_FAILURE(noteEdited(take, each.edit));

        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        ASSERT_EQ(found.renders.size(), 1u);
        const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front())));
        if (!each.said) {
            EXPECT_FALSE(outcome.failure);
            EXPECT_EQ(row(0).state.kind, FinishJob::State::Kind::done);
            EXPECT_EQ(tools->renders.size(), 1u);
            continue;
        }
        EXPECT_TRUE(outcome.failure);
        EXPECT_EQ(row(0).state.kind, FinishJob::State::Kind::failed);
        EXPECT_TRUE(row(0).state.message.startsWith(QStringLiteral("final.mov was not made: its note holds ") + QLatin1String(each.said))) << row(0).state.message.toStdString();
        EXPECT_TRUE(row(0).state.message.endsWith(QStringLiteral(", which no studio writes; the take's files stay as they are"))) << row(0).state.message.toStdString();
        EXPECT_TRUE(tools->renders.empty());
        EXPECT_TRUE(QFileInfo::exists(take + QStringLiteral("/raw.mov")));
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/Raw")));
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/final.mov")));
        // Failed, not cut short: no later launch runs it again.
        EXPECT_TRUE(TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted).renders.empty());
    }
}

TEST_F(NoteInput, aRenderNotesListsAreReadNoLongerThanItsTakeHoldsAndEachEntryOnlyAsTheStudioWritesIt)
{
    using Edit = std::function<void(QJsonObject& request)>;
    // `count` entries in the list at `key` (a zoom's or a layout plan's own list inside its plan).
    const auto list = [](QStringList key, QJsonValue entry, int count) -> Edit {
        return [=](QJsonObject& request) {
            QJsonArray entries;
            for (int i = 0; i < count; ++i)
                entries.append(entry);
            if (key.size() == 1) {
                request.insert(key[0], entries);
                return;
            }
            QJsonObject inner = request.value(key[0]).toObject();
            inner.insert(key[1], entries);
            request.insert(key[0], inner);
        };
    };
    const QJsonObject zoom{{QStringLiteral("start"), 1}, {QStringLiteral("rampInEnd"), 2}, {QStringLiteral("rampOutStart"), 3}, {QStringLiteral("end"), 4},
        {QStringLiteral("keys"), QJsonArray{QJsonArray{1, 0.5, 0.5, 1.5}}}, {QStringLiteral("reason"), QStringLiteral("clicks")}};
    QJsonObject zoomWithoutEnd = zoom;
    zoomWithoutEnd.remove(QStringLiteral("end"));
    const QJsonObject stop{{QStringLiteral("state"), 0}, {QStringLiteral("start"), 1}, {QStringLiteral("ramp"), 0.85}, {QStringLiteral("reason"), QString()}};
    const QJsonArray click{1, 0.5, 0.5};
    // The take is 62 s long: a click each of its 3720 frames is within what it holds, twice that is not.
    const struct {
        const char* name;
        Edit edit;
        const char* said; // nothing: a plan the studio renders
        std::function<size_t(const Mixdown::Request&)> read; // what the job holds of the edited list
    } cases[] = {
        {"a click every frame", list({QStringLiteral("clicks")}, click, 62 * 60), nullptr, [](const Mixdown::Request& r) { return r.clicks.size(); }},
        {"a zoom every frame", list({QStringLiteral("zoom"), QStringLiteral("segments")}, zoom, 62 * 60), nullptr,
            [](const Mixdown::Request& r) { return r.zoom.segments.size(); }},
        {"two clicks a frame", list({QStringLiteral("clicks")}, click, 2 * 62 * 60), "7440 clicks for a 62 s take",
            [](const Mixdown::Request& r) { return r.clicks.size(); }},
        {"two zooms a frame", list({QStringLiteral("zoom"), QStringLiteral("segments")}, zoom, 2 * 62 * 60), "7440 zooms for a 62 s take",
            [](const Mixdown::Request& r) { return r.zoom.segments.size(); }},
        {"two layout stops a frame", list({QStringLiteral("layoutTimeline"), QStringLiteral("stops")}, stop, 2 * 62 * 60), "7440 layout stops for a 62 s take",
            [](const Mixdown::Request& r) { return r.layoutTimeline.stops.size(); }},
        {"a camera span every frame", list({QStringLiteral("cameraSegments")}, QJsonArray{1, 2}, 62 * 60), "3720 camera spans for a 62 s take",
            [](const Mixdown::Request& r) { return r.cameraSegments.size(); }},
        {"zooms as bare numbers", list({QStringLiteral("zoom"), QStringLiteral("segments")}, 7, 1000), "a zoom that is not a group of values",
            [](const Mixdown::Request& r) { return r.zoom.segments.size(); }},
        {"empty zooms", list({QStringLiteral("zoom"), QStringLiteral("segments")}, QJsonObject(), 1000), "a zoom without its start",
            [](const Mixdown::Request& r) { return r.zoom.segments.size(); }},
        {"a zoom without its end", list({QStringLiteral("zoom"), QStringLiteral("segments")}, zoomWithoutEnd, 1), "a zoom without its end",
            [](const Mixdown::Request& r) { return r.zoom.segments.size(); }},
        {"a layout stop without its priority", list({QStringLiteral("layoutTimeline"), QStringLiteral("stops")}, stop, 1), "a layout stop without its priority",
            [](const Mixdown::Request& r) { return r.layoutTimeline.stops.size(); }},
        {"clicks as nulls", list({QStringLiteral("clicks")}, QJsonValue(), 1000), "a click that is not 3 numbers",
            [](const Mixdown::Request& r) { return r.clicks.size(); }},
        {"cursor shapes as bare numbers", list({QStringLiteral("pointer"), QStringLiteral("shapes")}, 1, 100), "a cursor shape that is not 2 numbers",
            [](const Mixdown::Request& r) { return r.pointer ? r.pointer->shapeKeys.size() : 0; }},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const QString take = takes(QStringLiteral("video 1"));
        ASSERT_NO_FATAL_FAILURE(noteEdited(take, each.edit));

        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        ASSERT_EQ(found.renders.size(), 1u);
        const size_t read = each.read(found.renders.front().request);
        const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front())));
        if (!each.said) {
            EXPECT_FALSE(outcome.failure);
            EXPECT_EQ(read, 62u * 60);
            EXPECT_EQ(tools->renders.size(), 1u);
            continue;
        }
        // Refused whole: no entry is read past the first one no studio writes, nor any of a list too long.
        EXPECT_EQ(read, 0u);
        EXPECT_EQ(row(0).state.message, QStringLiteral("final.mov was not made: its note holds ") + QLatin1String(each.said)
                + QStringLiteral(", which no studio writes; the take's files stay as they are"));
        EXPECT_TRUE(tools->renders.empty());
        EXPECT_TRUE(QFileInfo::exists(take + QStringLiteral("/raw.mov")));
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/final.mov")));
    }
}

TEST_F(NoteInput, aShortNoteNamingAnotherFolderWritesOnlyInTheFolderOfItsNote)
{
    const QString elsewhere = path(QStringLiteral("Elsewhere"));
    captureMovie(elsewhere + QStringLiteral("/raw.mov"), 2.0);
    write(elsewhere + QStringLiteral("/short.mov"), "the user's own short");
    const QStringList before = QDir(elsewhere).entryList(QDir::Files | QDir::Hidden);
    const QJsonObject named = ShortExportWork({QStringLiteral("t"), elsewhere, elsewhere + QStringLiteral("/raw.mov"), ShortTake::Settings{}, 0}).note()->content;
    const struct {
        const char* folder;
        bool ownRaw;
    } cases[] = {
        {"Shorts/2026-01-02-short-1", true}, // made beside the note, from the raw beside it
        {"Shorts/2026-01-02-short-2", false}, // nothing to make it from: it fails
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.folder);
        const QString shortFolder = takes(QLatin1String(each.folder));
        QDir().mkpath(shortFolder);
        if (each.ownRaw)
            captureMovie(shortFolder + QStringLiteral("/raw.mov"), 2.0);
        ASSERT_TRUE(PendingNote::write({shortFolder + QStringLiteral("/.short.pending"), named}));
    }

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.finishes.size(), 2u);
    const std::vector<FinishWork::Outcome> outcomes = resumeAll(found);
    ASSERT_EQ(outcomes.size(), 2u);
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const QString shortFolder = takes(QLatin1String(cases[i].folder));
        EXPECT_EQ(!outcomes[i].failure, cases[i].ownRaw) << cases[i].folder;
        EXPECT_EQ(QFileInfo::exists(shortFolder + QStringLiteral("/short.mov")), cases[i].ownRaw) << cases[i].folder;
    }
    EXPECT_EQ(bytes(elsewhere + QStringLiteral("/short.mov")), QByteArray("the user's own short"));
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden), before);
    EXPECT_TRUE(readLog().contains(QStringLiteral("recovery: finishing ") + takes(QStringLiteral("Shorts/2026-01-02-short-1/short.mov")) + QStringLiteral(" again")));
}

TEST_F(NoteInput, aNoteOrTakeDescriptionThatIsNoRegularFileIsRefusedWithoutWaitingAndSaidOnce)
{
    const QString pipes = path(QStringLiteral("Pipes"));
    QDir().mkpath(pipes);
    using Make = std::function<bool(const QString& at)>;
    const struct {
        const char* name;
        Make make;
        const char* said; // nothing: read as the note or description it leads to
    } cases[] = {
        {"a link to a device", [&](const QString& at) { return link(QStringLiteral("/dev/zero"), at); }, "not a regular file"},
        {"a link to a FIFO",
            [&](const QString& at) { return makeFifo(pipes + QStringLiteral("/pipe")) && link(pipes + QStringLiteral("/pipe"), at); }, "not a regular file"},
        {"a FIFO", [&](const QString& at) { return makeFifo(at); }, "not a regular file"},
        {"a file far larger than one",
            [&](const QString& at) {
                QFile file(at);
                return file.open(QIODevice::WriteOnly) && file.resize((at.endsWith(QLatin1String("take.json")) ? 16 * 1024 * 1024 : PendingNote::largestNoteBytes) + 1);
            },
            "larger than %1 MiB"},
        {"a link to a file in its folder",
            [&](const QString& at) { return QFile::rename(at, at + QStringLiteral(".kept")) && link(QFileInfo(at).fileName() + QStringLiteral(".kept"), at); }, nullptr},
    };
    for (const bool description : {false, true}) {
        for (const auto& each : cases) {
            SCOPED_TRACE(std::string(description ? "take.json: " : "note: ") + each.name);
            ASSERT_TRUE(QDir(takes(QString())).removeRecursively());
            QDir(pipes).removeRecursively();
            QDir().mkpath(pipes);
            const QString take = takes(QStringLiteral("video 1"));
            const Mixdown::Request request = savedTake(take);
            const QString file = take + (description ? QStringLiteral("/take.json") : QStringLiteral("/.final.pending"));
            if (!description) {
                ASSERT_NO_FATAL_FAILURE(writeNote(take, PendingRender::note({QStringLiteral("t"), QStringLiteral("s"), take + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt}).content));
            }
            if (each.said)
                QFile::remove(file);
            ASSERT_TRUE(each.make(file));

            // A take description holds at most 16 MiB.
            const QString said = QString::fromLatin1(each.said ? each.said : "")
                                     .replace(QStringLiteral("%1"), QString::number(description ? 16 : PendingNote::largestNoteBytes / (1024 * 1024)));
            const QString line = file + QStringLiteral(" could not be read, ") + said + (description ? QString() : QStringLiteral("; final.mov is not finished again"));
            const qsizetype before = readLog().count(line);
            TakeRecovery::Findings found;
            EXPECT_FALSE(waitedOnAFifo({take, pipes}, [&] { found = TakeRecovery::sweep({path(QStringLiteral("Takes"))}); })) << "the sweep waited on a FIFO";
            if (!each.said) {
                EXPECT_EQ(found.renders.size(), description ? 0u : 1u);
                // The description names final.mov, which is neither there nor noted.
                EXPECT_EQ(found.missingFinals.size(), description ? 1 : 0);
                continue;
            }
            EXPECT_EQ(readLog().count(line), before + 1) << readLog().toStdString();
            EXPECT_TRUE(found.renders.empty());
            // Said once across launches.
            const TakeRecovery::Findings again = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted);
            EXPECT_EQ(readLog().count(line), before + 1);
            EXPECT_EQ(again.noted, found.noted);
            EXPECT_TRUE(QFileInfo::exists(take + QStringLiteral("/raw.mov")));
        }
    }
}

TEST_F(NoteInput, aNotesTitleAndSummaryAreReadBoundedWhileTheStudiosOwnNotesOfEveryKindReadBackAsWritten)
{
    // The studio's own notes at their longest: a folder name as long as a disk allows, a summary naming
    // a hundred and fifty phone spans.
    const QString folderName = QString(240, QLatin1Char('v'));
    const QString take = takes(folderName);
    Mixdown::Request request = savedTake(take);
    request.cameraURL = take + QStringLiteral("/face.mov");
    request.phoneURL = take + QStringLiteral("/iphone.mov");
    request.exportRange = Mixdown::Request::TimeRange{MediaTime(600, 600), MediaTime(1200, 600)};
    QStringList spans;
    for (int i = 0; i < 150; ++i)
        spans << QStringLiteral("%1.0-%1.5").arg(i * 2);
    const QString summary = QStringLiteral("finished ") + folderName + QStringLiteral(" — camera:yes phone:yes phoneSegments:") + spans.join(QLatin1Char(','))
        + QStringLiteral(" clicks:2 pointer:120 layout:studio/tall-left/dark-room ownCursor:no zoom:smart=1 layoutMode:dynamic=3 moves keys:4 marks:0");
    const PendingRender::Job render{folderName + QStringLiteral(" · take 12 video"), summary, take + QStringLiteral("/final.mov"), take + QStringLiteral("/stop.json"), request, 0, std::nullopt};
    ASSERT_TRUE(PendingRender::write(render));
    const std::optional<PendingRender::Job> renderBack = PendingRender::read(PendingRender::markerPath(render.finalURL));
    ASSERT_TRUE(renderBack);
    EXPECT_EQ(PendingRender::note(*renderBack).content, PendingRender::note(render).content);
    EXPECT_FALSE(renderBack->unwritten);

    const QString shortFolder = takes(QStringLiteral("Shorts/2026-01-02-hook-short-3"));
    QDir().mkpath(shortFolder);
    ShortTake::Settings noteSettings;
    noteSettings.recordedAt = QDateTime(QDate(2026, 1, 2), QTime(10, 30), Qt::UTC);
    noteSettings.camera = QStringLiteral("usb-Camera_0");
    noteSettings.tailTrim = 1.5;
    noteSettings.script = NextTake{};
    noteSettings.script->title = QStringLiteral("Hook");
    noteSettings.framing = ShortFraming::MeasuredFraming{0.4, 0.3, 120, 118};
    const ShortExportWork shortWork({folderName + QStringLiteral(" · take 3"), shortFolder, shortFolder + QStringLiteral("/raw.mov"), noteSettings, 0});
    ASSERT_TRUE(PendingNote::write(*shortWork.note()));
    const std::optional<QJsonObject> shortNote = PendingNote::read(shortWork.note()->path);
    ASSERT_TRUE(shortNote);
    const std::optional<ShortExportWork::Job> shortBack = ShortExportWork::fromNote(*shortNote);
    ASSERT_TRUE(shortBack);
    EXPECT_EQ(ShortExportWork(*shortBack).note()->content, shortWork.note()->content);

    // A note whose title and summary are ten million characters each.
    const QString huge(10 * 1000 * 1000, QLatin1Char('x'));
    for (const char* kind : {"render", "short"}) {
        SCOPED_TRACE(kind);
        QJsonObject note = QLatin1String(kind) == QLatin1String("render") ? PendingRender::note(render).content : shortWork.note()->content;
        note.insert(QStringLiteral("title"), huge);
        note.insert(QStringLiteral("summary"), huge);
        const QString title = QLatin1String(kind) == QLatin1String("render") ? PendingRender::fromNote(note)->title : ShortExportWork::fromNote(note)->title;
        EXPECT_LT(title.size(), 1000);
        EXPECT_TRUE(title.startsWith(QStringLiteral("xxx")) && title.endsWith(QStringLiteral("…")));
    }
    QJsonObject note = PendingRender::note(render).content;
    note.insert(QStringLiteral("title"), huge);
    note.insert(QStringLiteral("summary"), huge);
    const std::optional<PendingRender::Job> job = PendingRender::fromNote(note);
    ASSERT_TRUE(job);
    EXPECT_LT(job->summary.size(), 10000);
    EXPECT_TRUE(job->summary.startsWith(QStringLiteral("xxx")) && job->summary.endsWith(QStringLiteral("…")));
    ASSERT_FALSE(answer(controller->finishQueue().submit(std::make_shared<RenderWork>(*job))).failure);
    qsizetype longestLine = 0;
    for (const QString& line : readLog().split(QLatin1Char('\n')))
        longestLine = std::max(longestLine, line.size());
    EXPECT_LT(longestLine, 10000);
    // Nor does a summary start a log line of its own.
    note.insert(QStringLiteral("summary"), QStringLiteral("finished video 1\n2026-01-02 10:00:00.000  forged"));
    EXPECT_EQ(PendingRender::fromNote(note)->summary, QStringLiteral("finished video 1?2026-01-02 10:00:00.000  forged"));
}

TEST_F(NoteInput, aPlansReasonsAreReadCutPastWhatTheStudioWritesWhileTheStudiosOwnReadBackAsWritten)
{
    // The longest the studio writes: a zoom carried through an hour of bursts of activity, and the layout
    // stop that focuses on it.
    QStringList bursts;
    for (int i = 0; i < 700; ++i)
        bursts << QStringLiteral("2 clicks + typing 14 keys in 0.12x0.10 over 1.4s");
    const QString carried = bursts.join(QStringLiteral(" + "));
    Mixdown::Request request;
    request.rawURL = QStringLiteral("/takes/t/raw.mov");
    request.zoom.segments.push_back({10, 11, 3600, 3601, {{10, {0.5, 0.5}, 1.8}}, carried});
    request.layoutTimeline.summary = QStringLiteral("signals: speech talking 41%, screen changing 12%, clicks 2100, keys 9800, pointer log");
    request.layoutTimeline.stops = {{LayoutState::face, 0, 0, QStringLiteral("intro (first screen activity 4.2s)"), 3},
        {LayoutState::focus, 10, 1, QStringLiteral("zoom held 3589.0s: ") + carried, 2}};
    const auto decoded = [](const Mixdown::Request& plan) { return *MixdownRequestNote::decode(MixdownRequestNote::encode(plan)); };
    const MixdownRequestNote::Decoded own = decoded(request);
    EXPECT_EQ(own.request.zoom.segments, request.zoom.segments);
    EXPECT_EQ(own.request.layoutTimeline.stops, request.layoutTimeline.stops);
    EXPECT_EQ(own.request.layoutTimeline.summary, request.layoutTimeline.summary);
    EXPECT_EQ(own.cut, std::nullopt);

    // One past its bound: cut as a title is, and named; nothing of the render is refused.
    Mixdown::Request longer = request;
    longer.layoutTimeline.stops[1].reason = QString(PendingNote::longestPlanText + 1, QLatin1Char('r'));
    const MixdownRequestNote::Decoded cut = decoded(longer);
    EXPECT_EQ(cut.request.layoutTimeline.stops[1].reason, QString(PendingNote::longestPlanText, QLatin1Char('r')) + QStringLiteral("…"));
    EXPECT_EQ(cut.cut, QStringLiteral("a layout reason of %1 characters").arg(PendingNote::longestPlanText + 1));
    EXPECT_EQ(cut.unwritten, std::nullopt);
    EXPECT_EQ(cut.request.zoom.segments, request.zoom.segments);

    // Each within its bound, but more than a plan holds together: those past it read empty.
    Mixdown::Request many = request;
    const QString full(PendingNote::longestPlanText, QLatin1Char('r'));
    for (int i = 0; i < 200; ++i)
        many.layoutTimeline.stops.push_back({LayoutState::split, 20.0 + i, 1, full, 1});
    const MixdownRequestNote::Decoded budget = decoded(many);
    qsizetype characters = 0;
    for (const LayoutTimeline::Stop& stop : budget.request.layoutTimeline.stops)
        characters += stop.reason.size();
    EXPECT_LE(characters, PendingNote::mostPlanText + 200);
    EXPECT_EQ(budget.request.layoutTimeline.stops.back().reason, QStringLiteral("…"));
    EXPECT_EQ(budget.cut, QStringLiteral("a layout reason of %1 characters").arg(PendingNote::longestPlanText));
}

TEST_F(NoteInput, aNoteOfMoreValuesThanAnyNoteHoldsIsRefusedBeforeItIsParsedWhileSignsInsideItsTextsCountForNothing)
{
    const QString note = path(QStringLiteral(".final.pending"));
    // The object, its three colons, its two commas and the list's bracket count six; the list's commas the rest.
    const auto written = [&](qsizetype positions, const QByteArray& title) {
        QByteArray text = "{\"kind\":\"render\",\"title\":\"" + title + "\",\"xs\":[";
        text.reserve(text.size() + positions * 2 + 2);
        for (qsizetype i = 0; i < positions; ++i)
            text += i ? ",0" : "0";
        text += "]}";
        QFile file(note);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    const struct {
        const char* name;
        qsizetype positions;
        QByteArray title;
        bool reads;
    } cases[] = {
        {"one value past the bound", PendingNote::largestNoteValues - 5, {}, false},
        {"at the bound", PendingNote::largestNoteValues - 6, {}, true},
        {"commas, colons and brackets in a text", 3, QByteArray(200000, ',') + QByteArray(200000, '[') + "\\\\\\\"{:", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(written(c.positions, c.title));
        QString refused;
        const std::optional<QJsonObject> read = PendingNote::read(note, &refused);
        EXPECT_EQ(read.has_value(), c.reads);
        EXPECT_EQ(refused, c.reads ? QString() : QStringLiteral("holding more than %1 values").arg(PendingNote::largestNoteValues));
    }
}

TEST_F(NoteInput, aResumedRenderOrShortWhoseMovieIsAFifoFailsItsRowAtOnceAndTheRenderQueuedBehindItRuns)
{
    ASSERT_NO_FATAL_FAILURE(renderForReal());
    const struct {
        const char* folder;
        bool drawn;
        const char* fifo; // nothing: the take whose render is queued behind the others
        const char* said;
    } cases[] = {
        {"video 1", false, "raw.mov", "Could not read the raw recording: raw.mov is not a regular file"},
        {"video 2", true, "raw.mov", "Could not read the raw recording: raw.mov is not a regular file"},
        {"video 3", true, "face.mov", "Mixdown failed: face.mov is not a regular file"},
        {"video 4", true, nullptr, nullptr},
    };
    QStringList folders;
    for (const auto& each : cases) {
        const QString take = takes(QLatin1String(each.folder));
        folders << take;
        QDir().mkpath(take);
        Mixdown::Request request;
        request.rawURL = take + QStringLiteral("/raw.mov");
        request.recordedSeconds = 1.0;
        if (each.drawn) {
            request.layout = ScreenLayout::studio;
            request.outputSize = QSizeF(320, 180);
            request.bubbleRect = QRectF(200, 20, 80, 80);
            request.cameraURL = take + QStringLiteral("/face.mov");
            request.cameraSegments = {{0.0, 1.0}};
        }
        for (const QString& movie : {QStringLiteral("raw.mov"), QStringLiteral("face.mov")}) {
            if (movie == QLatin1String(each.fifo)) {
                ASSERT_TRUE(makeFifo(take + QLatin1Char('/') + movie));
            } else if (movie == QLatin1String("raw.mov")) {
                SyntheticTake::ScreenRecipe screen;
                screen.seconds = 1.0;
                SyntheticTake::writeScreen(take + QLatin1Char('/') + movie, screen);
            } else if (each.drawn) {
                SyntheticTake::OverlayRecipe camera;
                camera.end = 1.0;
                SyntheticTake::writeOverlay(take + QLatin1Char('/') + movie, camera);
            }
        }
        ASSERT_TRUE(PendingRender::write({QLatin1String(each.folder), QString(), take + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt}));
    }
    const QString shortFolder = takes(QStringLiteral("Shorts/2026-01-02-short-1"));
    folders << shortFolder;
    QDir().mkpath(shortFolder);
    ASSERT_TRUE(makeFifo(shortFolder + QStringLiteral("/raw.mov")));
    ASSERT_TRUE(PendingNote::write(*ShortExportWork({QStringLiteral("short"), shortFolder, shortFolder + QStringLiteral("/raw.mov"), ShortTake::Settings{}, 0}).note()));

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.renders.size(), std::size(cases));
    std::vector<FinishWork::Outcome> outcomes;
    const bool waited = waitedOnAFifo(folders, [&] {
        std::vector<QFuture<FinishWork::Outcome>> queued;
        for (const PendingRender::Job& job : found.renders)
            queued.push_back(controller->finishQueue().submit(std::make_shared<RenderWork>(job)));
        for (QFuture<FinishWork::Outcome>& each : queued)
            outcomes.push_back(answer(each));
        const std::vector<FinishWork::Outcome> shorts = resumeAll(found);
        outcomes.insert(outcomes.end(), shorts.begin(), shorts.end());
    });
    EXPECT_FALSE(waited) << "a render waited on a FIFO";
    ASSERT_EQ(outcomes.size(), std::size(cases) + 1);
    for (size_t i = 0; i < found.renders.size(); ++i) {
        const QString takeFolder = QFileInfo(found.renders[i].finalURL).absoluteDir().dirName();
        const auto each = std::find_if(std::begin(cases), std::end(cases), [&](const auto& c) { return takeFolder == QLatin1String(c.folder); });
        SCOPED_TRACE(takeFolder.toStdString());
        if (!each->said) {
            EXPECT_FALSE(outcomes[i].failure);
            EXPECT_TRUE(QFileInfo::exists(takes(takeFolder) + QStringLiteral("/final.mov")));
            continue;
        }
        ASSERT_TRUE(outcomes[i].failure);
        EXPECT_EQ(outcomes[i].failure->description, QLatin1String(each->said));
        EXPECT_FALSE(QFileInfo::exists(takes(takeFolder) + QStringLiteral("/Raw")));
    }
    ASSERT_TRUE(outcomes.back().failure);
    EXPECT_EQ(outcomes.back().failure->description, QStringLiteral("Could not read the raw recording: raw.mov is not a regular file"));
}

TEST_F(NoteInput, aFinalWithNoPictureIsAFailedRowAndTheTakesFilesStay)
{
    ASSERT_NO_FATAL_FAILURE(renderForReal());
    const struct {
        const char* name;
        bool pictures;
        bool pastTheEnd;
    } cases[] = {
        // A note that does not know the take's length: the range is cut to the raw only as it renders.
        {"a range past the end of a take of unknown length", true, true},
        {"a raw whose picture track never got a picture", false, false},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        ASSERT_TRUE(QDir(takes(QString())).removeRecursively());
        controller->finishQueue().setFinishJobs({});
        const QString take = takes(QStringLiteral("video 1"));
        QDir().mkpath(take);
        SyntheticTake::ScreenRecipe screen;
        screen.seconds = 1.0;
        screen.pictures = each.pictures;
        SyntheticTake::writeScreen(take + QStringLiteral("/raw.mov"), screen);
        write(take + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
        Mixdown::Request request;
        request.rawURL = take + QStringLiteral("/raw.mov");
        if (each.pastTheEnd)
            request.exportRange = Mixdown::Request::TimeRange{MediaTime(70, 1), MediaTime(1, 1)};
        ASSERT_TRUE(PendingRender::write({QStringLiteral("t"), QString(), take + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt}));

        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        ASSERT_EQ(found.renders.size(), 1u);
        const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front())));
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(row(0).state.kind, FinishJob::State::Kind::failed);
        EXPECT_EQ(outcome.failure->description, QStringLiteral("final.mov was not kept: it held no picture of raw.mov; the take's files stay as they are"));
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/final.mov")));
        EXPECT_TRUE(QFileInfo::exists(take + QStringLiteral("/raw.mov")));
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/Raw")));
    }
}
