// The shared take sequence on its own, over a studio that lets anything change under a start: the take a
// start chose stays the running one, and a sequence gone while its take warms up touches nothing more.
#include "core/HandoffWatch.h"
#include "core/TakeSequence.h"
#include "finishing/FinishQueue.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"
#include "takes/ScreenStopPlan.h"
#include "takes/Take.h"

#include <QCoreApplication>
#include <QDir>
#include <QFuture>
#include <QPromise>

#include <gtest/gtest.h>

#include <qcorotask.h>
#include <qcorofuture.h>

#include <memory>

namespace {

// What a gated take did, kept apart from the take so a start resumed after the take is gone still has it.
struct GateLog {
    int prepared = 0;
    int recorded = 0;
    int pauses = 0;
    int stops = 0;
};

// Prepares its devices only when the test opens the gate.
class GatedTake final : public Take {
public:
    GatedTake(QFuture<void> gate, std::shared_ptr<GateLog> log) : gate_(std::move(gate)), log_(std::move(log)) {}

    TakeAccess access(const TakeStart&) const override { return {}; }
    QCoro::Task<std::optional<QString>> prepareDevices() override
    {
        const std::shared_ptr<GateLog> log = log_;
        const QFuture<void> gate = gate_;
        co_await gate;
        ++log->prepared;
        co_return std::nullopt;
    }
    QCoro::Task<std::optional<QString>> record(const TakeStart&, const TakeFolder& folder) override
    {
        ++log_->recorded;
        folder_ = folder;
        running_ = true;
        co_return std::nullopt;
    }
    QCoro::Task<> stop(bool) override
    {
        ++log_->stops;
        running_ = false;
        co_return;
    }
    QCoro::Task<> discard() override { co_return; }
    void pause() override { ++log_->pauses; }
    void resume() override { }
    bool isRunning() const override { return running_; }
    double elapsedSeconds() const override { return 0; }
    const std::optional<TakeFolder>& folder() const override { return folder_; }

private:
    QFuture<void> gate_;
    std::shared_ptr<GateLog> log_;
    std::optional<TakeFolder> folder_;
    bool running_ = false;
};

// A studio of plain fields with a handoff watch of its own; every phase it is given is listed.
class PlainStudio final : public TakeSequence::Studio, public HandoffWatch::Studio {
public:
    explicit PlainStudio(Settings& settings) : watch(*this, settings, nullptr, std::nullopt) {}

    const RecordingPhase& phase() const override { return phase_; }
    void setPhase(const RecordingPhase& phase) override
    {
        phase_ = phase;
        phases.push_back(phase.kind());
    }
    void reset() override { setPhase(RecordingPhase::idle()); }
    void setElapsed(double) override { }
    void setZoomMarkCount(int) override { }
    CaptureMode captureMode() const override { return mode; }
    RecordingChannel channel() const override { return RecordingChannel::ai; }
    TakeStart settings() const override { return {}; }
    HandoffWatch& handoffs() override { return watch; }
    void refreshPermissions() override { }
    void refreshDevices() override { }
    void refreshDisplays() override { }
    bool noCameraDevice() const override { return false; }
    int countdownSeconds() const override { return 0; }
    const std::optional<QString>& destinationFolder() const override { return folder; }
    void setDestinationFolder(const std::optional<QString>& chosen) override { folder = chosen; }
    void refreshDestinationName() override { }
    void setShortTakeChannel(RecordingChannel) override { }
    void setLastFinalURL(const std::optional<QString>&) override { }
    void setLastShortURL(const std::optional<QString>&) override { }
    void showFinishedTake(const QString&, const QString&) override { }
    void inform(const QString&) override { }
    void playSound(const QString&) override { }
    void alarmTakeFailed() override { }
    const TakeLook& look() const override { return look_; }
    FinishQueue& finishQueue() override { std::abort(); }
    QStringList takesUnderWay(const QString&) const override { return {}; }
    std::optional<QRect> screenFrame() const override { return std::nullopt; }
    const CameraPanel* bubbleWindow() const override { return nullptr; }
    const CameraPanel* phoneWindow() const override { return nullptr; }
    BubbleShape bubbleShape() const override { return BubbleShape::circle; }
    double bubbleTilt() const override { return 0; }
    double bubbleSize() const override { return 0; }
    bool phoneShowsFrame() const override { return false; }
    void applyBubbleLayout(bool) override { }
    void settleOverlayWindows() override { }
    bool takeUnderWay() const override { return false; }
    bool busy() const override { return phase_.isBusy(); }
    void setCaptureMode(CaptureMode value) override { mode = value; }
    std::optional<QRect> prompterScreen() const override { return std::nullopt; }
    void setTeleprompterVisible(bool) override { }

    CaptureMode mode = CaptureMode::screen;
    std::optional<QString> folder;
    std::vector<RecordingPhase::Kind> phases;
    HandoffWatch watch;

private:
    RecordingPhase phase_;
    TakeLook look_;
};

class TakeSequenceTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        studio = std::make_unique<PlainStudio>(*settings);
        ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("project"))));
        studio->folder = path(QStringLiteral("project"));
        gate.start();
        TakeKinds kinds;
        for (CaptureMode mode : {CaptureMode::screen, CaptureMode::voice}) {
            std::shared_ptr<GateLog> log = logs[mode];
            kinds.rows.push_back({mode, {}, [this, log](const TakeKit&) { return std::make_unique<GatedTake>(gate.future(), log); }});
        }
        sequence = std::make_unique<TakeSequence>(*studio, kinds, *settings, access, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        sequence.reset();
        studio.reset();
        SandboxTest::TearDown();
    }
    void openGate()
    {
        gate.finish();
        QCoreApplication::processEvents();
    }

    std::unique_ptr<PlainStudio> studio;
    FakeAccessProbe access;
    QPromise<void> gate;
    std::map<CaptureMode, std::shared_ptr<GateLog>> logs{
        {CaptureMode::screen, std::make_shared<GateLog>()}, {CaptureMode::voice, std::make_shared<GateLog>()}};
    std::unique_ptr<TakeSequence> sequence;
};

} // namespace

TEST_F(TakeSequenceTest, theTakeAStartChoseStaysTheRunningOneWhenTheModeMovesUnderIt)
{
    QCoro::Task<> starting = sequence->start();
    Take* chosen = sequence->takeOf(CaptureMode::screen);
    ASSERT_EQ(studio->phase().kind(), RecordingPhase::Kind::preparing);
    EXPECT_TRUE(sequence->takeUnderWay());

    studio->mode = CaptureMode::voice;
    EXPECT_EQ(sequence->activeTake(), chosen) << "from the start request on";
    EXPECT_TRUE(sequence->start().isReady()) << "a second start while the first awaits does nothing";

    openGate();
    QCoro::waitFor(std::move(starting));
    ASSERT_EQ(studio->phase().kind(), RecordingPhase::Kind::recording);
    EXPECT_EQ(logs[CaptureMode::screen]->recorded, 1);
    EXPECT_EQ(logs[CaptureMode::voice]->prepared, 0);
    EXPECT_TRUE(sequence->isTickerRunning());

    sequence->togglePause();
    EXPECT_EQ(logs[CaptureMode::screen]->pauses, 1);
    sequence->togglePause();
    QCoro::waitFor(sequence->stop(false));
    EXPECT_EQ(logs[CaptureMode::screen]->stops, 1);
    EXPECT_EQ(logs[CaptureMode::voice]->stops, 0);
    EXPECT_EQ(studio->phase().kind(), RecordingPhase::Kind::finishing);
    EXPECT_FALSE(sequence->isTickerRunning());
}

TEST_F(TakeSequenceTest, aSequenceGoneWhileItsTakeWarmsUpChangesNothingInTheStudioAfterwards)
{
    QCoro::Task<> starting = sequence->start();
    ASSERT_EQ(studio->phase().kind(), RecordingPhase::Kind::preparing);
    const std::vector<RecordingPhase::Kind> before = studio->phases;

    sequence.reset();
    openGate();
    QCoro::waitFor(std::move(starting));
    EXPECT_EQ(logs[CaptureMode::screen]->prepared, 1);
    EXPECT_EQ(logs[CaptureMode::screen]->recorded, 0);
    EXPECT_EQ(studio->phases, before);
}
