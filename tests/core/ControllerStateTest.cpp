#include "ControllerTestFixture.h"

#include "capture/ExportGate.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <limits>

namespace {

using Controller = RecordingController;
using Kind = RecordingPhase::Kind;

const std::vector<RecordingPhase>& everyPhase()
{
    static const std::vector<RecordingPhase> phases{RecordingPhase::idle(), RecordingPhase::countingDown(), RecordingPhase::preparing(),
        RecordingPhase::recording(), RecordingPhase::paused(), RecordingPhase::finishing(), RecordingPhase::finished(QStringLiteral("/f.mov")),
        RecordingPhase::failed(QStringLiteral("no"))};
    return phases;
}

TEST(RecordingPhase, PredicatesAndEquality)
{
    const struct {
        Kind kind;
        bool filming;
        bool busy;
    } cases[] = {
        {Kind::idle, false, false}, {Kind::countingDown, true, true}, {Kind::preparing, true, true}, {Kind::recording, true, true},
        {Kind::paused, true, true}, {Kind::finishing, false, true}, {Kind::finished, false, false}, {Kind::failed, false, false},
    };
    for (const auto& c : cases) {
        const auto phase = std::find_if(everyPhase().begin(), everyPhase().end(), [&c](const RecordingPhase& p) { return p.kind() == c.kind; });
        EXPECT_EQ(Controller::isFilming(*phase), c.filming) << static_cast<int>(c.kind);
        EXPECT_EQ(Controller::isBusy(*phase), c.busy) << static_cast<int>(c.kind);
    }
    EXPECT_EQ(RecordingPhase::failed(QStringLiteral("a")), RecordingPhase::failed(QStringLiteral("a")));
    EXPECT_NE(RecordingPhase::failed(QStringLiteral("a")), RecordingPhase::failed(QStringLiteral("b")));
    EXPECT_NE(RecordingPhase::finished(QStringLiteral("/a")), RecordingPhase::finished(QStringLiteral("/b")));
    EXPECT_NE(RecordingPhase::idle(), RecordingPhase::finishing());
}

TEST(RecordingController, TimeString)
{
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "00:00"}, {59.9, "00:59"}, {61, "01:01"}, {3599.99, "59:59"}, {3600, "1:00:00"}, {3725, "1:02:05"}, {86400, "24:00:00"},
        {-1, "00:00"}, {std::numeric_limits<double>::quiet_NaN(), "00:00"}, {std::numeric_limits<double>::infinity(), "00:00"},
        {-std::numeric_limits<double>::infinity(), "00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Controller::timeString(c.seconds), QString::fromLatin1(c.text)) << c.seconds;
    EXPECT_FALSE(Controller::timeString(1e300).isEmpty());
}

TEST_F(ControllerTest, TheExportGateIsRaisedExactlyWhileFilming)
{
    Controller& c = controller();
    for (const RecordingPhase& from : everyPhase()) {
        for (const RecordingPhase& to : everyPhase()) {
            c.setPhase(from);
            c.setPhase(to);
            EXPECT_EQ(ExportGate::shared().isPaused(), to.isFilming()) << static_cast<int>(from.kind()) << "->" << static_cast<int>(to.kind());
            EXPECT_EQ(speech.values.back(), to.isBusy());
        }
    }
    c.setPhase(RecordingPhase::idle());
    EXPECT_FALSE(ExportGate::shared().isPaused());
}

TEST_F(ControllerTest, LeavingFilmingStampsTheEndOfTheTake)
{
    Controller& c = controller();
    const struct {
        RecordingPhase from;
        RecordingPhase to;
        bool stamps;
    } cases[] = {
        {RecordingPhase::recording(), RecordingPhase::finishing(), true},
        {RecordingPhase::paused(), RecordingPhase::idle(), true},
        {RecordingPhase::countingDown(), RecordingPhase::failed(QStringLiteral("x")), true},
        {RecordingPhase::finishing(), RecordingPhase::idle(), false},
        {RecordingPhase::recording(), RecordingPhase::paused(), false},
        {RecordingPhase::idle(), RecordingPhase::recording(), false},
        {RecordingPhase::idle(), RecordingPhase::idle(), false},
    };
    for (const auto& step : cases) {
        c.setPhase(step.from);
        const QDateTime before = c.lastTakeEndedAt();
        const QDateTime start = QDateTime::currentDateTimeUtc();
        c.setPhase(step.to);
        if (step.stamps) {
            EXPECT_GE(c.lastTakeEndedAt(), start);
            EXPECT_LE(c.lastTakeEndedAt(), QDateTime::currentDateTimeUtc());
        } else {
            EXPECT_EQ(c.lastTakeEndedAt(), before);
        }
    }
}

TEST_F(ControllerTest, FinishWaitingForBreak)
{
    Controller& c = controller();
    // Filming with no finish job working leaves the flag as it is.
    c.setFinishWaitingForBreak(true);
    c.setPhase(RecordingPhase::recording());
    EXPECT_TRUE(c.finishWaitingForBreak());
    c.setFinishWaitingForBreak(false);
    c.setPhase(RecordingPhase::paused());
    EXPECT_FALSE(c.finishWaitingForBreak());

    // Filming while a job works raises it; any phase that is not filming clears it.
    c.setFinishJobs({FinishJob{QUuid::createUuid(), QStringLiteral("take"), {}}});
    c.setPhase(RecordingPhase::recording());
    EXPECT_TRUE(c.finishWaitingForBreak());
    c.setPhase(RecordingPhase::finishing());
    EXPECT_FALSE(c.finishWaitingForBreak());
    EXPECT_TRUE(speech.values.back()); // the speech hub stays busy while finishing
    c.setPhase(RecordingPhase::idle());
    EXPECT_FALSE(speech.values.back());
}

TEST_F(ControllerTest, FinishingCountAndDismiss)
{
    Controller& c = controller();
    FinishJob working{QUuid::createUuid(), QStringLiteral("a"), {}};
    FinishJob done{QUuid::createUuid(), QStringLiteral("b"), {FinishJob::State::Kind::done, 1, QStringLiteral("/f.mov"), {}}};
    FinishJob failed{QUuid::createUuid(), QStringLiteral("c"), {FinishJob::State::Kind::failed, 0, {}, QStringLiteral("no")}};
    c.setFinishJobs({working, done, failed, working});
    EXPECT_EQ(c.finishingCount(), 2);
    c.dismissFinishJob(working.id);
    EXPECT_EQ(c.finishJobs(), (std::vector<FinishJob>{done, failed}));
    EXPECT_EQ(c.finishingCount(), 0);
}

TEST_F(ControllerTest, ResetReturnsToIdle)
{
    Controller& c = controller();
    c.setPhase(RecordingPhase::recording());
    c.setElapsed(12.5);
    c.reset();
    EXPECT_EQ(c.phase(), RecordingPhase::idle());
    EXPECT_EQ(c.elapsed(), 0);
    EXPECT_FALSE(ExportGate::shared().isPaused());
}

TEST_F(ControllerTest, DestinationName)
{
    const QString recordings = path(QStringLiteral("Recordings"));
    QDir().mkpath(recordings + QStringLiteral("/video 2"));
    Controller& c = controller();
    EXPECT_EQ(c.destinationName(), recordings + QStringLiteral("/video 3"));
    EXPECT_EQ(c.existingFolders(), QStringList{recordings + QStringLiteral("/video 2")});

    c.setDestinationFolder(recordings + QStringLiteral("/video 2"));
    EXPECT_EQ(c.destinationName(), recordings + QStringLiteral("/video 2")); // no take in it yet
    QFile take(recordings + QStringLiteral("/video 2/final.mov"));
    ASSERT_TRUE(take.open(QIODevice::WriteOnly));
    take.close();
    c.refreshDestinationName();
    EXPECT_EQ(c.destinationName(), recordings + QStringLiteral("/video 2  (take 2)"));

    // A folder chosen elsewhere stays pickable, at the front.
    const QString elsewhere = path(QStringLiteral("Elsewhere"));
    QDir().mkpath(elsewhere);
    c.setDestinationFolder(elsewhere);
    EXPECT_EQ(c.existingFolders(), (QStringList{elsewhere, recordings + QStringLiteral("/video 2")}));

    // A vanished folder is dropped.
    QDir(elsewhere).removeRecursively();
    c.refreshDestinationName();
    EXPECT_FALSE(c.destinationFolder());
    EXPECT_EQ(c.destinationName(), recordings + QStringLiteral("/video 3"));
}

TEST_F(ControllerTest, DestinationNamesAbbreviateTheHomeFolder)
{
    settings->setString(QString::fromLatin1(SaveLocation::settingsKey), QStringLiteral("~/Videos/Studio"));
    Controller& c = controller();
    EXPECT_EQ(c.destinationName(), QStringLiteral("~/Videos/Studio/video 1"));
    EXPECT_TRUE(c.shortDestinationName().startsWith(QStringLiteral("~/Videos/Studio/Shorts/")));
    EXPECT_TRUE(c.shortDestinationName().endsWith(QStringLiteral("-short-1")));
    c.setChannel(RecordingChannel::dorvelTalk);
    EXPECT_TRUE(c.shortDestinationName().startsWith(path(QStringLiteral("Brain/PROJECTS/DORVEL-TALK/tiktok/"))));
}

TEST_F(ControllerTest, ShortHeaderAndCropLockFollowTheBusyPhase)
{
    Controller& c = controller();
    c.setChannel(RecordingChannel::branchline);
    c.setShortTakeChannel(RecordingChannel::inkwell);
    EXPECT_EQ(c.shortHeaderChannel(), RecordingChannel::branchline);
    EXPECT_FALSE(c.shortCropLocked());
    c.setPhase(RecordingPhase::finishing());
    EXPECT_EQ(c.shortHeaderChannel(), RecordingChannel::inkwell);
    EXPECT_TRUE(c.shortCropLocked());
}

TEST_F(ControllerTest, MicrophoneNamesAndRanks)
{
    Controller& c = controller();
    EXPECT_FALSE(c.usingWorseMicrophoneThanAvailable());
    c.setMicrophones({microphone(QStringLiteral("bt"), QStringLiteral("Headset"), 1), microphone(QStringLiteral("usb"), QStringLiteral("USB"), 4),
        microphone(QStringLiteral("usb2"), QStringLiteral("USB 2"), 4)});
    c.setSelectedMicrophoneID(QStringLiteral("bt"));
    EXPECT_EQ(c.selectedMicrophoneName(), QStringLiteral("Headset"));
    EXPECT_TRUE(c.usingWorseMicrophoneThanAvailable());
    c.setSelectedMicrophoneID(QStringLiteral("usb2"));
    EXPECT_FALSE(c.usingWorseMicrophoneThanAvailable());
    c.setSelectedMicrophoneID(QStringLiteral("gone"));
    EXPECT_FALSE(c.selectedMicrophoneName());
    EXPECT_FALSE(c.usingWorseMicrophoneThanAvailable());
}

TEST(RecordingController, DisplayName)
{
    EXPECT_EQ(Controller::displayName(DisplayInfo{69, 2560, 1440, QStringLiteral("DELL U2719D")}), QStringLiteral("DELL U2719D — 2560×1440"));
    EXPECT_EQ(Controller::displayName(DisplayInfo{3, 1280, 720, {}}), QStringLiteral("Display 3 — 1280×720"));
}

TEST_F(ControllerTest, ReplayAndRevealActOnlyOnWhatExists)
{
    Controller& c = controller();
    c.replayLastShort();
    c.revealLastRecording();
    c.setLastShortURL(path(QStringLiteral("missing/short.mov")));
    c.replayLastShort();
    EXPECT_TRUE(hooks.calls.isEmpty());
    QFile shortFile(path(QStringLiteral("short.mov")));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.close();
    c.setLastShortURL(shortFile.fileName());
    c.setLastFinalURL(path(QStringLiteral("final.mov")));
    c.replayLastShort();
    c.revealLastRecording();
    EXPECT_EQ(hooks.calls, (QStringList{QStringLiteral("play ") + shortFile.fileName(), QStringLiteral("reveal ") + path(QStringLiteral("final.mov"))}));
}

TEST_F(ControllerTest, LongFormHandoffMemory)
{
    settings->setString(RecordingController::Keys::longformIgnoredNextRecording(), QStringLiteral("/p|old"));
    settings->setString(RecordingController::Keys::shortAutoSwitchedHandoff(), QStringLiteral("hook|t"));
    Controller& c = controller();
    EXPECT_EQ(c.ignoredNextRecording(), QStringLiteral("/p|old"));
    EXPECT_EQ(c.handledNextTake(), QStringLiteral("hook|t"));

    NextRecording record;
    record.videoFolder = QStringLiteral("/p/video 3");
    record.writtenAtText = QStringLiteral("2026-12-05T10:00:00Z");
    c.markRecordingHandled(record);
    EXPECT_EQ(relaunch()->handledNextRecording(), QStringLiteral("/p/video 3|2026-12-05T10:00:00Z"));
}

TEST_F(ControllerTest, AnIgnoredHandoffIsLoggedOnceNotOnEveryPoll)
{
    const QString recordings = path(QStringLiteral("Recordings"));
    QDir().mkpath(recordings);
    QFile file(recordings + QStringLiteral("/.next_recording.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"video_folder":"relative/video 1"})");
    file.close();
    Controller& c = controller();
    for (int poll = 0; poll < 3; ++poll)
        EXPECT_FALSE(c.loadNextRecording());
    EXPECT_EQ(readLog().count(QStringLiteral("not an absolute path")), 1);
}

} // namespace
