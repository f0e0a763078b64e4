#include "ControllerTestFixture.h"

#include "platform/media/ExportGate.h"
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

TEST(RecordingController, TimeString)
{
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {59.9, "00:59"}, {3599.99, "59:59"}, {3600, "1:00:00"}, {86400, "24:00:00"}, {-1, "00:00"},
        {std::numeric_limits<double>::quiet_NaN(), "00:00"}, {std::numeric_limits<double>::infinity(), "00:00"},
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

    // A vanished folder is dropped.
    QDir(recordings + QStringLiteral("/video 2")).removeRecursively();
    c.refreshDestinationName();
    EXPECT_FALSE(c.destinationFolder());
    EXPECT_EQ(c.destinationName(), recordings + QStringLiteral("/video 1"));
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
        EXPECT_FALSE(c.handoffs().loadNextRecording());
    EXPECT_EQ(readLog().count(QStringLiteral("not an absolute path")), 1);
}

} // namespace
