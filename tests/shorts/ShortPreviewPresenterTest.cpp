#include "shorts/ShortPreviewPresenter.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace ShortPreviewPresenter;

TEST(ShortPreviewPresenterTest, TimerCountsWhileFilmingAndWarmsWithTheLength)
{
    struct Case {
        RecordingPhase phase;
        double elapsed;
        const char* text;
        TimerTone tone;
    };
    const std::vector<Case> cases {
        {RecordingPhase::recording(), 39.9, "00:39", TimerTone::white},
        {RecordingPhase::recording(), 40, "00:40", TimerTone::orange},
        {RecordingPhase::recording(), 59.99, "00:59", TimerTone::orange},
        {RecordingPhase::recording(), 60, "01:00", TimerTone::red},
        {RecordingPhase::recording(), 75, "01:15", TimerTone::red},
        {RecordingPhase::paused(), 75, "01:15", TimerTone::red},
        {RecordingPhase::paused(), 12, "00:12", TimerTone::white},
        {RecordingPhase::idle(), 75, "00:00", TimerTone::dim},
        {RecordingPhase::countingDown(), 3, "00:00", TimerTone::dim},
        {RecordingPhase::finishing(), 75, "00:00", TimerTone::dim},
        {RecordingPhase::recording(), std::numeric_limits<double>::quiet_NaN(), "00:00", TimerTone::white},
        {RecordingPhase::recording(), -4, "00:00", TimerTone::white},
    };
    for (const Case& c : cases) {
        State state;
        state.phase = c.phase;
        state.elapsed = c.elapsed;
        const Shown shown = present(state);
        EXPECT_EQ(shown.timerText, QString::fromUtf8(c.text)) << c.elapsed;
        EXPECT_EQ(shown.timerTone, c.tone) << c.elapsed;
    }
}

TEST(ShortPreviewPresenterTest, TakePhasesLockTheCropAndTheScriptButReplayOnlyWhileRolling)
{
    struct Case {
        RecordingPhase phase;
        bool locked, centre, clearScript, replay;
    };
    const std::vector<Case> cases {
        {RecordingPhase::idle(), false, true, true, true},
        {RecordingPhase::countingDown(), true, false, false, true},
        {RecordingPhase::preparing(), true, false, false, true},
        {RecordingPhase::recording(), true, false, false, false},
        {RecordingPhase::paused(), true, false, false, false},
        {RecordingPhase::finishing(), true, false, false, true},
        {RecordingPhase::finished(QStringLiteral("/t/short.mov")), false, true, true, true},
        {RecordingPhase::failed(QStringLiteral("x")), false, true, true, true},
    };
    for (const Case& c : cases) {
        State state;
        state.phase = c.phase;
        state.frameSize = QSizeF(1920, 1080);
        state.canReplay = true;
        const Shown shown = present(state);
        const int kind = static_cast<int>(c.phase.kind());
        EXPECT_EQ(shown.locked, c.locked) << kind;
        EXPECT_EQ(shown.lockText, c.locked ? QStringLiteral("Locked for this take") : QStringLiteral("Drag the frame to place it")) << kind;
        EXPECT_EQ(shown.centreEnabled, c.centre) << kind;
        EXPECT_EQ(shown.clearScriptEnabled, c.clearScript) << kind;
        EXPECT_EQ(shown.replayEnabled, c.replay) << kind;
    }
    State noShort;
    EXPECT_FALSE(present(noShort).replayEnabled);
}

TEST(ShortPreviewPresenterTest, ScriptRowAndCentreAvailability)
{
    NextTake script;
    script.scriptID = QStringLiteral("s12");
    script.title = QStringLiteral("Morning light");
    State state;
    EXPECT_FALSE(present(state).scriptTitle.has_value());
    state.script = script;
    EXPECT_EQ(present(state).scriptTitle, QStringLiteral("s12 · Morning light"));
    state.script->title.clear();
    EXPECT_EQ(present(state).scriptTitle, QStringLiteral("s12"));

    const std::vector<std::pair<QSizeF, bool>> frames {
        {{1920, 1080}, true}, {{1080, 1920}, false}, {{1440, 2560}, false}, {{1080, 2340}, true}, {{0, 0}, false}, {{1, 1080}, false},
    };
    for (const auto& [frame, enabled] : frames) {
        state.frameSize = frame;
        EXPECT_EQ(present(state).centreEnabled, enabled) << frame.width() << "x" << frame.height();
    }
    state.frameSize = {0, 0};
    EXPECT_EQ(present(state).frameText, QStringLiteral("Waiting for the camera…"));
}

TEST(ShortPreviewPresenterTest, ViewerViewOfAFileMirroredTheOtherWayShowsTheCropMirrored)
{
    struct Case {
        bool viewerView, mirrorCamera, mirrorFile;
        double x;
        bool writes, eyeLineFlipped;
    };
    const std::vector<Case> cases {
        {true, true, false, 0.8, false, false},
        {false, true, false, 0.2, true, true},
        {true, false, true, 0.8, false, false},
        {false, false, true, 0.2, true, true},
        {true, true, true, 0.2, true, false},
        {false, false, false, 0.2, true, false},
    };
    for (const Case& c : cases) {
        State state;
        state.position = {0.2, 0.3};
        state.viewerView = c.viewerView;
        state.mirrorCamera = c.mirrorCamera;
        state.shortMirrorFile = c.mirrorFile;
        const Shown shown = present(state);
        EXPECT_NEAR(shown.stagePosition.x, c.x, 1e-12) << c.viewerView << c.mirrorCamera << c.mirrorFile;
        EXPECT_EQ(shown.stagePosition.y, 0.3);
        EXPECT_EQ(shown.stageWritesPosition, c.writes);
        EXPECT_EQ(shown.eyeLineFlipped, c.eyeLineFlipped) << c.viewerView << c.mirrorCamera << c.mirrorFile;
    }
}

TEST(ShortPreviewPresenterTest, ChannelHelpNamesTheFolderTheShortGoesTo)
{
    const std::vector<std::pair<RecordingChannel, const char*>> rows {
        {RecordingChannel::ai, "AI channel take → Shorts/"},
        {RecordingChannel::dorvelTalk, "Dorvel Talk take → PROJECTS/DORVEL-TALK/tiktok/"},
        {RecordingChannel::branchline, "Branchline take → PROJECTS/BRANCHLINE/shorts/"},
        {RecordingChannel::inkwell, "Inkwell Hour take → PROJECTS/INKWELL-CHANNEL/shorts/"},
    };
    for (const auto& [channel, text] : rows)
        EXPECT_EQ(channelHelp(channel), QString::fromUtf8(text));
}

} // namespace
