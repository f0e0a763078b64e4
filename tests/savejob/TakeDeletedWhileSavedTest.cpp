#include "FinishFixture.h"

#include "finishing/MixdownFinishingTools.h"
#include "platform/media/MovieAsset.h"
#include "support/SyntheticTake.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Kind = FinishJob::State::Kind;

// The real face mux, trim and stop record; renders as the fake draws them. `beforeMux` and `beforeTrim` each
// run once, right before the first mux or trim begins.
class MidSaveTools final : public FinishingTools {
public:
    explicit MidSaveTools(std::shared_ptr<FakeFinishingTools> renders) : renders_(std::move(renders)) { }

    std::function<void()> beforeMux;
    std::function<void()> beforeTrim;

    QCoro::Task<FaceResult> faceMux(QString cameraPath, QString rawPath, QString facePath, FaceMux::Own own) override
    {
        if (const auto act = std::exchange(beforeMux, {}))
            act();
        return media_.faceMux(cameraPath, rawPath, facePath, own);
    }
    QCoro::Task<std::optional<TrimResult>> tailTrim(QString path, double seconds, std::shared_ptr<const HeldFile> own) override
    {
        if (const auto act = std::exchange(beforeTrim, {}))
            act();
        return media_.tailTrim(path, seconds, own);
    }
    void writeStopSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration) override
    {
        media_.writeStopSidecar(path, stoppedBy, trimmed, duration);
    }
    QCoro::Task<RenderResult> composePassthrough(QString rawPath, QString finalPath, Progress progress) override
    {
        return renders_->composePassthrough(rawPath, finalPath, progress);
    }
    QCoro::Task<RenderResult> composeWithOverlays(std::shared_ptr<const Mixdown::Request> request, QString finalPath, Progress progress) override
    {
        return renders_->composeWithOverlays(std::move(request), finalPath, progress);
    }
    QCoro::Task<FinishOutcome::MovieLengths> measureFinal(QString finalPath) override { return renders_->measureFinal(finalPath); }

private:
    MixdownFinishingTools media_{nullptr};
    std::shared_ptr<FakeFinishingTools> renders_;
};

// "Delete the bad take, record again" while the take still saves: a remote-stopped take with a camera is
// deleted as a file manager deletes it, and the next take, filmed at once, lands under the same names before
// the save ends. The save reads, replaces and removes only its own take's files.
class TakeDeletedWhileSaved : public FinishTest {
protected:
    void SetUp() override
    {
        FinishTest::SetUp();
        media = std::make_shared<MidSaveTools>(tools);
        controller->finishQueue().setFinishingTools(media);
    }

    // A take's movies and pointer log as its recording leaves them: `seconds` of screen and camera.
    void film(double seconds)
    {
        SyntheticTake::ScreenRecipe screen;
        screen.seconds = seconds;
        SyntheticTake::writeScreen(take(QStringLiteral("raw.mov")), screen);
        SyntheticTake::OverlayRecipe camera;
        camera.start = 0.3;
        camera.end = seconds;
        SyntheticTake::writeOverlay(take(QStringLiteral("camera.mov")), camera);
        touch(QStringLiteral("cursor.json"), "{}");
    }
    // Its stop: the files known by what they are, handed to the save.
    void stop(const QString& title, double seconds)
    {
        SaveJobHandover job = saveJob(QString(), true, true);
        job.title = title;
        job.duration = seconds;
        job.cameraSegments = {{0.3, seconds}};
        job.folder = HeldFolder::hold(take());
        job.pieces.holdPresent(take(QStringLiteral("final.mov")));
        endTake();
        stopTake(job);
    }
    // The first take's files deleted, the second filmed under their names; what it left is noted.
    void deleteAndFilmTheNext()
    {
        for (const QString& name : QDir(take()).entryList(QDir::Files))
            ASSERT_TRUE(QFile::remove(take(name)));
        film(8.0);
        for (const char* name : {"raw.mov", "camera.mov"})
            filmed.emplace_back(QString::fromLatin1(name), identity(take(QString::fromLatin1(name))), read(take(QString::fromLatin1(name))));
    }
    static std::pair<dev_t, ino_t> identity(const QString& file)
    {
        struct stat info {};
        return ::stat(QFile::encodeName(file).constData(), &info) == 0 ? std::pair{info.st_dev, info.st_ino} : std::pair<dev_t, ino_t>{};
    }
    double videoSeconds(const QString& movie) const
    {
        auto opened = MovieAsset::open(movie);
        const MovieTrack* video = std::holds_alternative<MovieAsset>(opened) ? std::get<MovieAsset>(opened).firstTrack(MovieTrack::MediaType::video) : nullptr;
        return video ? (video->end() - video->mediaStart()).seconds() : -1;
    }

    // The second take's movies as it filmed them, untouched by the first take's save.
    void expectTheSecondTakeUntouched()
    {
        for (const auto& [name, was, bytes] : filmed) {
            EXPECT_EQ(identity(take(name)), was) << name.toStdString() << " was removed or replaced";
            EXPECT_TRUE(read(take(name)) == bytes) << name.toStdString() << " was written over";
        }
        EXPECT_EQ(QDir(take()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            (QStringList{QStringLiteral("camera.mov"), QStringLiteral("cursor.json"), QStringLiteral("raw.mov")}))
            << "nothing of the first take's save lands under the second take's names";
    }

    // The first take's save failed truly, made no render, and the second take's stop saves and renders its own.
    void expectTheSecondTakeFinishedFromItsOwnMovies(const QString& lost)
    {
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return row(0).state.kind != Kind::working; }, 30000));
        EXPECT_EQ(row(0).state.kind, Kind::failed);
        EXPECT_EQ(row(0).state.message, QStringLiteral("first take was not saved: ") + lost
                + QStringLiteral(" was deleted or replaced after the take stopped; the files now in its folder stay as they are"));
        EXPECT_FALSE(controller->finishQueue().hasFinishRetry(row(0).id)) << "a Retry could only fail the same way";
        EXPECT_EQ(controller->finishJobs().size(), 1u) << "no render of the first take";
        expectTheSecondTakeUntouched();

        stop(QStringLiteral("second take"), 8.0);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->finishJobs().size() == 3; }, 30000)) << row(1).state.message.toStdString();
        EXPECT_EQ(row(1).state.kind, Kind::done);
        clock.advance(10);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return row(2).state.kind != Kind::working; }, 30000));
        EXPECT_EQ(row(2).state.kind, Kind::done) << row(2).state.message.toStdString();
        ASSERT_EQ(tools->renders.size(), 1u);
        EXPECT_EQ(read(take(QStringLiteral("final.mov"))), "final");
        // Its own raw, cut once; its own camera movie, in its face file and cut with it.
        EXPECT_NEAR(videoSeconds(take(QStringLiteral("Raw/raw.mov"))), 6.5, 0.1);
        EXPECT_NEAR(videoSeconds(take(QStringLiteral("Raw/face.mov"))), 6.2, 0.1);
        EXPECT_FALSE(QFileInfo::exists(take(QStringLiteral("camera.mov"))));
    }

    std::shared_ptr<MidSaveTools> media;
    std::vector<std::tuple<QString, std::pair<dev_t, ino_t>, QByteArray>> filmed;
};

TEST_F(TakeDeletedWhileSaved, whileItsFaceFileIsMadeTheNextTakesCameraAndRawStayItsOwn)
{
    film(5.0);
    media->beforeMux = [this] { deleteAndFilmTheNext(); };
    stop(QStringLiteral("first take"), 5.0);
    expectTheSecondTakeFinishedFromItsOwnMovies(QStringLiteral("raw.mov"));
}

TEST_F(TakeDeletedWhileSaved, whileItsRawIsCutTheNextTakesRawStaysAsItWasFilmed)
{
    film(5.0);
    media->beforeTrim = [this] { deleteAndFilmTheNext(); };
    stop(QStringLiteral("first take"), 5.0);
    expectTheSecondTakeFinishedFromItsOwnMovies(QStringLiteral("raw.mov"));
}

} // namespace
