#include "FinishResumeFixture.h"

#include "finishing/PendingNote.h"
#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"
#include "shortexport/ShortExportWork.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <functional>

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
    const struct {
        const char* name;
        Edit edit;
        const char* said; // nothing: the plan is one a studio writes and renders
    } cases[] = {
        {"as the studio writes it", [](QJsonObject&) {}, nullptr},
        {"a valid export range", exportRange(600, 1200), nullptr},
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
        ASSERT_TRUE(QDir(takes(QString())).removeRecursively());
        controller->finishQueue().setFinishJobs({});
        tools->renders.clear();
        const Mixdown::Request request = savedTake(take);
        QJsonObject note = PendingRender::note({QStringLiteral("video 1 · take 1"), QStringLiteral("video 1"), take + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt}).content;
        QJsonObject plan = note.value(QStringLiteral("request")).toObject();
        each.edit(plan);
        note.insert(QStringLiteral("request"), plan);
        ASSERT_NO_FATAL_FAILURE(writeNote(take, note));

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
