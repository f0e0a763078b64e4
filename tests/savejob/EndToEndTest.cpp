#include "FinishFixture.h"

#include "finishing/MixdownFinishingTools.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/Diagnostics.h"
#include "support/FakeOverlayRenderer.h"
#include "support/SyntheticTake.h"
#include "takes/ScreenStopPlan.h"
#include "ui/QueueRows.h"

#include <QRegularExpression>
#include <QThread>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

using Kind = FinishJob::State::Kind;
using Record = FakeOverlayRenderer::Record;

// The stand-in compositor, slowed down so a test can act while an export runs.
class SlowRenderer final : public OverlayFrameRenderer {
public:
    explicit SlowRenderer(std::unique_ptr<OverlayFrameRenderer> inner) : inner_(std::move(inner)) { }
    std::optional<ErrorInfo> render(const Frame& frame, PixelBuffer& output) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(6));
        return inner_->render(frame, output);
    }

private:
    std::unique_ptr<OverlayFrameRenderer> inner_;
};

class EndToEnd : public FinishTest {
protected:
    void SetUp() override
    {
        FinishTest::SetUp();
        record = std::make_shared<Record>();
        OverlayRendererFactory inner = FakeOverlayRenderer::factory(record);
        Mixdown::Options options;
        options.gatePollSeconds = 0.01;
        controller->finishQueue().setFinishingTools(std::make_shared<MixdownFinishingTools>(
            [inner](const OverlayFrameRenderer::Setup& setup) { return std::make_unique<SlowRenderer>(inner(setup)); }, options));
        controller->setPhase(RecordingPhase::idle());
    }

    // A screen take as its stop leaves it: the movies and the sidecars the stop writes.
    void writeTake(const QString& suffix, double seconds, bool camera)
    {
        SyntheticTake::ScreenRecipe screen;
        screen.seconds = seconds;
        SyntheticTake::writeScreen(take(QStringLiteral("raw") + suffix + QStringLiteral(".mov")), screen);
        if (camera) {
            SyntheticTake::OverlayRecipe recipe;
            recipe.start = 0.3;
            recipe.end = seconds;
            SyntheticTake::writeOverlay(take(QStringLiteral("camera") + suffix + QStringLiteral(".mov")), recipe);
            recipe.start = 0;
            recipe.portrait = true;
            SyntheticTake::writeOverlay(take(QStringLiteral("iphone") + suffix + QStringLiteral(".mov")), recipe);
        }
        for (const char* word : {"clicks", "cursor", "layout"})
            touch(QString::fromLatin1(word) + suffix + QStringLiteral(".json"), "{}");
        HeldSidecars refused;
        ScreenStopPlan::saveZoomSidecar(ZoomTimeline::none(), ZoomMode::smart, take(QStringLiteral("zoom") + suffix + QStringLiteral(".json")), refused);
    }

    SaveJobHandover studioJob(const QString& suffix, double seconds, bool byRemote)
    {
        SaveJobHandover job = saveJob(suffix, true, byRemote);
        job.duration = seconds;
        job.cameraSegments = {{0.3, seconds}};
        job.request.phoneURL = take(QStringLiteral("iphone") + suffix + QStringLiteral(".mov"));
        job.request.outputSize = QSizeF(640, 360);
        job.request.bubbleRect = QRectF(440, 20, 160, 120);
        job.request.phoneRect = QRectF(20, 80, 80, 160);
        job.request.frameRate = 30;
        return job;
    }

    std::optional<size_t> rowTitled(const QString& title) const
    {
        for (size_t i = 0; i < controller->finishJobs().size(); ++i) {
            if (controller->finishJobs()[i].title == title)
                return i;
        }
        return std::nullopt;
    }
    bool rowIs(const QString& title, Kind kind) const
    {
        const auto index = rowTitled(title);
        return index && row(*index).state.kind == kind;
    }
    size_t framesRendered() const
    {
        std::lock_guard guard(record->lock);
        return record->frames.size();
    }

    std::shared_ptr<Record> record;
};

TEST_F(EndToEnd, TakesQueueBehindARenderThatHoldsForATakeAndWaitsForTheBreak)
{
    writeTake(QString(), 4.0, true);
    writeTake(QStringLiteral("-2"), 6.0, true);
    const QString first = QStringLiteral("video 1 · take 1 video");
    const QString second = QStringLiteral("video 1 · take 2 video");

    std::vector<double> progress;
    QObject::connect(controller.get(), &RecordingController::changed, [&] {
        const auto index = rowTitled(first);
        if (index && row(*index).state.kind == Kind::working && (progress.empty() || progress.back() != row(*index).state.progress))
            progress.push_back(row(*index).state.progress);
    });

    stopTake(studioJob(QString(), 4.0, false));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return framesRendered() > 10; }, 20000)) << "the first render never started";

    // A take starts while take 1 renders: the export holds still through the gate.
    controller->setPhase(RecordingPhase::recording());
    QThread::msleep(150);
    QCoreApplication::processEvents();
    const size_t held = framesRendered();
    const size_t reportsHeld = progress.size();
    QThread::msleep(400);
    QCoreApplication::processEvents();
    EXPECT_EQ(framesRendered(), held) << "frames were drawn while a take was filming";
    EXPECT_EQ(progress.size(), reportsHeld) << "nothing was written while a take was filming";
    EXPECT_TRUE(rowIs(first, Kind::working));

    // That take stops with the remote button and saves at once; its render queues behind take 1's.
    controller->setPhase(RecordingPhase::idle()); // filming ended at 1000 on the manual clock
    stopTake(studioJob(QStringLiteral("-2"), 6.0, true));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return rowIs(first, Kind::done); }, 30000));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return rowTitled(second).has_value(); }, 20000));
    EXPECT_TRUE(rowIs(QStringLiteral("video 1 · take 2"), Kind::done)) << "the save job does not wait for a break";

    // Take 2's render waits for the 5 s break, looked at every 2 s.
    const size_t framesOfFirst = framesRendered();
    QThread::msleep(200);
    QCoreApplication::processEvents();
    EXPECT_EQ(framesRendered(), framesOfFirst);
    EXPECT_TRUE(controller->finishWaitingForBreak());
    // Filming ended at 1000 on the manual clock; the wait looks at 1002, 1004 and 1006.
    clock.advance(5.9);
    QCoreApplication::processEvents();
    EXPECT_EQ(framesRendered(), framesOfFirst) << "rendered before the break";
    EXPECT_TRUE(controller->finishWaitingForBreak());
    clock.advance(0.1);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return rowIs(second, Kind::done); }, 30000));
    EXPECT_FALSE(controller->finishWaitingForBreak());

    // Progress of take 1 reached its row in steps of at least a hundredth, ending at 1.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_LE(progress.size(), 102u);
    for (size_t i = 1; i + 1 < progress.size(); ++i)
        EXPECT_GE(progress[i] - progress[i - 1], 0.01 - 1e-12) << i;

    // Each final lands beside Raw/, which holds the take's pieces with the final's suffix.
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("final.mov"))));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("final-2.mov"))));
    EXPECT_EQ(QDir(take()).entryList(QDir::Files, QDir::Name), QStringList({"final-2.mov", "final.mov"}));
    QStringList expected;
    for (const QString& suffix : {QString(), QStringLiteral("-2")}) {
        for (const char* word : {"raw", "face", "iphone"})
            expected << QString::fromLatin1(word) + suffix + QStringLiteral(".mov");
        for (const char* word : {"clicks", "cursor", "zoom", "layout", "take"})
            expected << QString::fromLatin1(word) + suffix + QStringLiteral(".json");
    }
    expected << QStringLiteral("stop-2.json");
    expected.sort();
    EXPECT_EQ(QDir(take(QStringLiteral("Raw"))).entryList(QDir::Files, QDir::Name), expected) << "the camera movies went into the face files";

    // The remote stop cut 1.5 s, once, and the description says what was left.
    const QJsonObject description = readJson(take(QStringLiteral("Raw/take-2.json")));
    EXPECT_NEAR(description[QStringLiteral("duration")].toDouble(), 4.5, 1e-9);
    const QJsonObject stop = readJson(take(QStringLiteral("Raw/stop-2.json")));
    EXPECT_NEAR(stop[QStringLiteral("tailTrimmedSeconds")].toDouble(), 1.5, 1e-9);
    EXPECT_NEAR(stop[QStringLiteral("durationSeconds")].toDouble(), 4.5, 0.05);
    EXPECT_NEAR(SyntheticTake::probeField(take(QStringLiteral("final-2.mov")), QStringLiteral("video"), QStringLiteral("duration")).toDouble(), 4.5, 0.1);
    EXPECT_EQ(SyntheticTake::probeField(take(QStringLiteral("final-2.mov")), QStringLiteral("video"), QStringLiteral("codec_name")), QStringLiteral("h264"));
    EXPECT_EQ(SyntheticTake::probeField(take(QStringLiteral("Raw/face-2.mov")), QStringLiteral("audio"), QStringLiteral("codec_name")), QStringLiteral("aac"));
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(take(QStringLiteral("final-2.mov"))));
}

TEST_F(EndToEnd, AFailedRenderShowsItsErrorAndOneRetrySucceeds)
{
    touch(QStringLiteral("raw-3.mov"), "not a movie");
    SaveJobHandover job = saveJob(QStringLiteral("-3"), false);
    job.request.layout = ScreenLayout::classic; // nothing drawn: the screen video is copied
    job.duration = 2.0; // the length of the screen written below: a longer take would finish with a note
    stopTake(job);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->finishJobs().size() == 2 && row(1).state.kind == Kind::failed; }, 20000));
    const FinishJob failed = row(1);
    EXPECT_TRUE(failed.state.message.startsWith(QStringLiteral("Could not read the raw recording: "))) << failed.state.message.toStdString();
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("raw-3.mov"))));
    EXPECT_FALSE(QFileInfo::exists(take(QStringLiteral("final-3.mov"))));

    SyntheticTake::ScreenRecipe screen;
    SyntheticTake::writeScreen(take(QStringLiteral("raw-3.mov")), screen);
    controller->finishQueue().retryFinishJob(failed.id);
    EXPECT_EQ(row(1).state.kind, Kind::working);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return row(1).state.kind == Kind::done; }, 20000));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("final-3.mov"))));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("Raw/raw-3.mov"))));

    controller->finishQueue().retryFinishJob(failed.id);
    EXPECT_EQ(row(1).state, (FinishJob::State{Kind::done, 0, take(QStringLiteral("final-3.mov")), {}})) << "a second retry does nothing";
    EXPECT_EQ(controller->finishJobs().size(), 2u);
}

TEST_F(EndToEnd, AFinalShorterThanItsTakeSaysWhatItKeptInTheRowAndUnderTheWindow)
{
    SyntheticTake::ScreenRecipe screen;
    SyntheticTake::writeScreen(take(QStringLiteral("raw-4.mov")), screen);
    SaveJobHandover job = saveJob(QStringLiteral("-4"), false);
    job.request.layout = ScreenLayout::classic;
    job.duration = 5.0; // the stop measured more than the raw file holds now
    stopTake(job);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->finishJobs().size() == 2 && row(1).state.kind == Kind::done; }, 20000));
    const QString note = QStringLiteral("Finished the first 0:02 of 0:05 — the rest of raw-4.mov could not be read");
    EXPECT_EQ(row(1).state.message, note);
    EXPECT_EQ(QueueRows::finish(row(1), false).text, row(1).title + QStringLiteral(" is ready. ") + note);
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(take(QStringLiteral("final-4.mov"))));
    EXPECT_EQ(controller->finishNote(), note);
    EXPECT_TRUE(readLog().contains(QStringLiteral("final-4.mov: ") + note));
}

TEST_F(EndToEnd, DamagedPicturesLeftOutOfARenderAreCountedInTheRowAndUnderTheWindow)
{
    SyntheticTake::ScreenRecipe screen;
    screen.seconds = 10.0;
    const QString raw = take(QStringLiteral("raw-5.mov"));
    SyntheticTake::writeScreen(raw, screen);
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    file.seek(0);
    file.write(SyntheticTake::withRandomBytes(bytes, SyntheticTake::boxAfter(bytes, "mdat", bytes.size() * 4 / 10) + 16, 30000, 7));
    file.close();
    SaveJobHandover job = saveJob(QStringLiteral("-5"), false);
    job.request.layout = ScreenLayout::studio; // drawn, so every picture is decoded
    job.request.outputSize = QSizeF(320, 180);
    job.request.frameRate = 30;
    job.duration = 10.0;
    stopTake(job);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->finishJobs().size() == 2 && row(1).state.kind != Kind::working; }, 30000));
    ASSERT_EQ(row(1).state.kind, Kind::done) << row(1).state.message.toStdString();

    const auto logged = QRegularExpression(QStringLiteral("raw-5.mov: left out (\\d+) damaged picture")).match(readLog());
    ASSERT_TRUE(logged.hasMatch()) << qPrintable(readLog());
    const QString note = logged.captured(1) + QStringLiteral(" damaged pictures in raw-5.mov were left out; the picture before each one holds");
    EXPECT_EQ(row(1).state.message, note) << "the whole take is there, so the count is all the row says";
    // The render's row says it where the user looks for the take, not only under the window.
    EXPECT_EQ(QueueRows::finish(row(1), false).text, row(1).title + QStringLiteral(" is ready. ") + note);
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(take(QStringLiteral("final-5.mov"))));
    EXPECT_EQ(controller->finishNote(), note);
    EXPECT_TRUE(readLog().contains(QStringLiteral("final-5.mov: ") + note));
}

} // namespace
