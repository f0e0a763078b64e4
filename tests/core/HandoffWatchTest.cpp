#include "ControllerTestFixture.h"

#include "core/HandoffWatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <qcorotask.h>

#include <gtest/gtest.h>

namespace {

// The studio as the watch sees it, with every change it asks for written down.
class FakeStudio final : public HandoffWatch::Studio {
public:
    bool underWay = false;
    bool filming = false;
    CaptureMode mode = CaptureMode::screen;
    std::vector<std::optional<QString>> destinations;

    bool takeUnderWay() const override { return underWay; }
    bool busy() const override { return filming; }
    CaptureMode captureMode() const override { return mode; }
    void setCaptureMode(CaptureMode value) override { mode = value; }
    RecordingChannel channel() const override { return RecordingChannel::ai; }
    void setDestinationFolder(const std::optional<QString>& folder) override { destinations.push_back(folder); }
    std::optional<QRect> prompterScreen() const override { return std::nullopt; }
    void setTeleprompterVisible(bool) override {}
};

class HandoffWatchTest : public ControllerTest {
protected:
    QString recordings(const QString& name = QString()) const { return path(QStringLiteral("Recordings/") + name); }
    void writeFile(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }
    void writeShort(const QString& scriptID, int secondsAgo)
    {
        writeFile(recordings(QStringLiteral("Shorts/.next_take.json")),
            QStringLiteral(R"({"script_id":"%1","written_at":"%2"})").arg(scriptID, written(secondsAgo)).toUtf8());
    }
    static QString written(int secondsAgo) { return QDateTime::currentDateTimeUtc().addSecs(-secondsAgo).toString(Qt::ISODate); }
    // A long-form handoff with a script, read, marked handled and prepared while a take is under way.
    void holdHandoff()
    {
        writeFile(recordings(QStringLiteral("video 5/script.md")), "Words of the handoff.");
        writeFile(recordings(QStringLiteral(".next_recording.json")),
            QStringLiteral(R"({"video_folder":"%1","written_at":"%2","title":"Demo","teleprompter_file":"script.md"})")
                .arg(recordings(QStringLiteral("video 5")), written(5))
                .toUtf8());
        const std::optional<NextRecording> record = watch->loadNextRecording();
        ASSERT_TRUE(record);
        watch->markRecordingHandled(record);
        studio.underWay = true;
        QCoro::waitFor(watch->applyNextRecording(*record));
        ASSERT_TRUE(watch->holdsHandoff());
        ASSERT_TRUE(studio.destinations.empty());
    }
    // Gives queued reactions time to run.
    static void settle() { TestEnvironment::waitUntil([] { return false; }, 100); }
    int appliedLines() const { return readLog().count(QStringLiteral("longform: the studio is idle, applying the held handoff \"Demo\"")); }

    void SetUp() override
    {
        ControllerTest::SetUp();
        watch = std::make_unique<HandoffWatch>(studio, *settings, nullptr, CaptureMode::short_);
    }
    void TearDown() override
    {
        watch.reset();
        ControllerTest::TearDown();
    }

    FakeStudio studio;
    std::unique_ptr<HandoffWatch> watch;
};

TEST_F(HandoffWatchTest, AHeldHandoffAppliesOnceOnALaterTurnAfterTheStudioTurnsIdle)
{
    ASSERT_NO_FATAL_FAILURE(holdHandoff());
    EXPECT_EQ(readLog().count(QStringLiteral("longform: a take is under way; the handoff applies when the studio is idle")), 1);
    // Still under way: nothing is queued.
    watch->studioMayBeIdle();
    settle();
    EXPECT_TRUE(watch->holdsHandoff());
    EXPECT_TRUE(studio.destinations.empty());

    // Idle, said twice in the same turn (the phase change and the start's end): applied once, never inside
    // the call that said so.
    studio.underWay = false;
    watch->studioMayBeIdle();
    watch->studioMayBeIdle();
    EXPECT_TRUE(studio.destinations.empty());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !studio.destinations.empty(); }, 2000));
    settle();
    EXPECT_EQ(studio.destinations, std::vector<std::optional<QString>>{recordings(QStringLiteral("video 5"))});
    EXPECT_EQ(watch->longformLoadedText(), QStringLiteral("Words of the handoff."));
    EXPECT_EQ(appliedLines(), 1);
    EXPECT_FALSE(watch->holdsHandoff());
    watch->studioMayBeIdle();
    settle();
    EXPECT_EQ(studio.destinations.size(), 1u);
}

TEST_F(HandoffWatchTest, ATakeStartingBeforeTheLaterTurnKeepsTheHandoffHeldForTheNextIdle)
{
    ASSERT_NO_FATAL_FAILURE(holdHandoff());
    studio.underWay = false;
    watch->studioMayBeIdle();
    // Record pressed again before the queued turn runs.
    studio.underWay = true;
    settle();
    EXPECT_TRUE(watch->holdsHandoff());
    EXPECT_TRUE(studio.destinations.empty());
    EXPECT_EQ(appliedLines(), 0);

    studio.underWay = false;
    watch->studioMayBeIdle();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !studio.destinations.empty(); }, 2000));
    EXPECT_EQ(appliedLines(), 1);
}

TEST_F(HandoffWatchTest, AShortsScriptIsTheOnePendingWhenRecordWasPressed)
{
    writeShort(QStringLiteral("first"), 30);
    watch->holdStartScript();
    // Rewritten between Record and the short's folder: the next short's script, not this one's.
    writeShort(QStringLiteral("second"), 10);
    const std::optional<NextTake> script = watch->fixTakeScript(true);
    ASSERT_TRUE(script);
    EXPECT_EQ(script->scriptID, QStringLiteral("first"));
    ASSERT_TRUE(watch->nextTake());
    EXPECT_EQ(watch->nextTake()->scriptID, QStringLiteral("second"));
    // The header shows the filmed short's script while the studio is busy, the pending one after.
    studio.filming = true;
    EXPECT_EQ(watch->shortHeaderScript(), script);
    studio.filming = false;
    EXPECT_EQ(watch->shortHeaderScript(), watch->nextTake());
    // Without a start under way the pending one is the script.
    EXPECT_EQ(watch->fixTakeScript(false)->scriptID, QStringLiteral("second"));
}

} // namespace
