// A kind of take the studio has never heard of, registered through the table of take kinds alone, driven by
// the real controller through its start, pause, stop with its finish hand-over, and discard.
#include "app/StudioTakeKinds.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "finishing/SaveJobHandover.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeTakeServices.h"
#include "support/HeldSaveJobs.h"
#include "support/TestEnvironment.h"
#include "takes/Take.h"
#include "takes/TakeHost.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <qcorotask.h>

#include <memory>

namespace {

// Writes one text file per take and hands its finish over like a screen take does.
class NotebookTake final : public Take {
public:
    explicit NotebookTake(TakeHost& host) : host_(host) {}

    TakeAccess access(const TakeStart&) const override
    {
        TakeAccess access;
        access.microphone = true;
        access.microphoneRefused = QStringLiteral("The notebook needs the microphone.");
        access.area = QStringLiteral("notebook");
        return access;
    }
    QCoro::Task<std::optional<QString>> prepareDevices() override
    {
        ++prepared;
        co_return std::nullopt;
    }
    QCoro::Task<std::optional<QString>> record(const TakeStart&, const TakeFolder& folder) override
    {
        folder_ = folder;
        QFile page(file());
        if (!page.open(QIODevice::WriteOnly))
            co_return QStringLiteral("The notebook cannot write.");
        page.write("notes");
        running_ = true;
        co_return std::nullopt;
    }
    QCoro::Task<> stop(bool) override
    {
        phaseAtStop = host_.rolling() ? QStringLiteral("rolling") : QStringLiteral("finishing");
        running_ = false;
        const TakeFolder folder = *std::exchange(folder_, std::nullopt);
        SaveJobHandover job;
        job.id = QUuid::createUuid();
        job.title = QStringLiteral("Notebook");
        host_.ended({.folder = folder, .kept = true});
        host_.enter(TakeStep::idle);
        host_.handOver(job);
        co_return;
    }
    QCoro::Task<> discard() override
    {
        running_ = false;
        QFile::remove(file());
        folder_.reset();
        co_return;
    }
    void pause() override { ++pauses; }
    void resume() override { ++resumes; }
    bool isRunning() const override { return running_; }
    double elapsedSeconds() const override { return 0; }
    const std::optional<TakeFolder>& folder() const override { return folder_; }

    QString file() const { return folder_ ? folder_->file(QStringLiteral("notes"), QStringLiteral(".txt")) : QString(); }

    int prepared = 0;
    int pauses = 0;
    int resumes = 0;
    QString phaseAtStop;

private:
    TakeHost& host_;
    std::optional<TakeFolder> folder_;
    bool running_ = false;
};

// The studio's own table with the notebook in the voice mode's row.
TakeKinds tableWithNotebook()
{
    TakeKinds kinds = StudioTakeKinds::standard();
    for (TakeKind& row : kinds.rows)
        if (row.mode == CaptureMode::voice)
            row = {CaptureMode::voice, {.pause = true}, [](const TakeKit& kit) { return std::make_unique<NotebookTake>(kit.host); }};
    return kinds;
}

class TakeKindTable : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        makeController();
    }
    // A studio over the table as it stands, in the notebook's mode with no countdown.
    void makeController()
    {
        Platform platform{*settings, access};
        platform.kinds = &kinds;
        platform.takes = &services;
        controller = std::make_unique<RecordingController>(platform);
        holdSaveJobs(controller->finishQueue(), services.jobs);
        controller->setCountdownSeconds(0);
        controller->setCaptureMode(CaptureMode::voice);
    }
    void TearDown() override
    {
        controller.reset();
        SandboxTest::TearDown();
    }
    NotebookTake& notebook() { return static_cast<NotebookTake&>(*controller->takeOf(CaptureMode::voice)); }
    RecordingPhase::Kind phase() const { return controller->phase().kind(); }

    TakeKinds kinds = tableWithNotebook();
    FakeAccessProbe access;
    FakeTakeServices services;
    std::unique_ptr<RecordingController> controller;
};

} // namespace

TEST_F(TakeKindTable, aKindFromTheTableStartsPausesStopsAndHandsItsFinishToTheQueue)
{
    QCoro::waitFor(controller->start());
    ASSERT_EQ(phase(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    EXPECT_EQ(notebook().prepared, 1);
    ASSERT_TRUE(notebook().folder());
    const TakeFolder made = *notebook().folder();
    EXPECT_TRUE(made.created);
    EXPECT_TRUE(QFile::exists(notebook().file()));
    EXPECT_TRUE(controller->takes().isTickerRunning());

    controller->togglePause();
    EXPECT_EQ(phase(), RecordingPhase::Kind::paused);
    controller->togglePause();
    EXPECT_EQ(phase(), RecordingPhase::Kind::recording);
    EXPECT_EQ(notebook().pauses, 1);
    EXPECT_EQ(notebook().resumes, 1);

    QCoro::waitFor(controller->stop());
    EXPECT_EQ(notebook().phaseAtStop, QStringLiteral("finishing")) << "the studio enters finishing before the take stops";
    EXPECT_FALSE(controller->takes().isTickerRunning());
    EXPECT_EQ(phase(), RecordingPhase::Kind::idle);
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_EQ(services.jobs.front().title, QStringLiteral("Notebook"));
    ASSERT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_EQ(controller->finishJobs().front().id, services.jobs.front().id);
    // A kept take's new project folder is where the next take goes.
    ASSERT_TRUE(controller->destinationFolder());
    EXPECT_EQ(*controller->destinationFolder(), QDir::cleanPath(made.path));
}

TEST_F(TakeKindTable, aDiscardedTakeOfTheKindLeavesNeitherFilesNorTheFolderItMade)
{
    QCoro::waitFor(controller->start());
    ASSERT_EQ(phase(), RecordingPhase::Kind::recording);
    const TakeFolder made = *notebook().folder();
    ASSERT_TRUE(QDir(made.path).exists());

    QCoro::waitFor(controller->discard());
    EXPECT_EQ(phase(), RecordingPhase::Kind::idle);
    EXPECT_FALSE(QDir(made.path).exists());
    EXPECT_FALSE(controller->takes().isTickerRunning());
    EXPECT_TRUE(services.jobs.empty());
    EXPECT_TRUE(controller->finishJobs().empty());
    EXPECT_TRUE(readLog().contains(QStringLiteral("discarded take in ")));
}

TEST_F(TakeKindTable, theKindsOwnRefusalSentenceFailsTheStartBeforeAnyDeviceOpens)
{
    access.microphoneState = Permissions::State::denied;
    QCoro::waitFor(controller->start());
    EXPECT_EQ(phase(), RecordingPhase::Kind::failed);
    EXPECT_EQ(controller->phase().payload(), QStringLiteral("The notebook needs the microphone."));
    EXPECT_TRUE(readLog().contains(QStringLiteral("notebook start aborted: microphone permission denied")));
    EXPECT_EQ(notebook().prepared, 0);
    EXPECT_FALSE(notebook().folder());
    EXPECT_FALSE(controller->takeUnderWay());
}

TEST_F(TakeKindTable, withoutPauseAmongItsTraitsThePauseKeyDoesNothing)
{
    for (TakeKind& row : kinds.rows)
        if (row.mode == CaptureMode::voice)
            row.traits.pause = false;
    makeController();
    QCoro::waitFor(controller->start());
    ASSERT_EQ(phase(), RecordingPhase::Kind::recording);
    controller->togglePause();
    EXPECT_EQ(phase(), RecordingPhase::Kind::recording);
    EXPECT_EQ(notebook().pauses, 0);
}
