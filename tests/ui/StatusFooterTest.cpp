#include "WindowTest.h"

#include "support/QueueRender.h"
#include "support/FakeFinishingTools.h"
#include "takes/ScreenStopPlan.h"
#include "ui/IconLabel.h"
#include "ui/StatusFooter.h"
#include "ui/WindowActions.h"

#include <QDir>
#include <QFile>

namespace {

class StatusFooterTest : public WindowTest {
protected:
    QString form() const
    {
        QStringList shown;
        for (const char* name : {"savedRow", "failureBlock", "pauseNote", "destinationRow"}) {
            if (shows(QString::fromLatin1(name)))
                shown << QString::fromLatin1(name);
        }
        return shown.join(QLatin1Char(','));
    }
    QString iconText(const QString& name) const { return find<IconLabel>(name)->text(); }
};

TEST_F(StatusFooterTest, destinationLineCountsZoomMarksAndNamesTheKeys)
{
    const QString destination = controller->destinationName();
    ASSERT_FALSE(destination.isEmpty());
    EXPECT_EQ(form(), QStringLiteral("destinationRow"));
    EXPECT_EQ(text(QStringLiteral("destinationLine")), QStringLiteral("→ ") + destination);
    EXPECT_EQ(text(QStringLiteral("keyLine")), QStringLiteral("Ctrl+R record   Ctrl+P pause   Super+Alt+Z/Super+Alt+X zoom"));

    controller->setZoomMarkCount(1);
    settle();
    EXPECT_EQ(text(QStringLiteral("destinationLine")), QStringLiteral("→ ") + destination + QStringLiteral("  ·  1 zoom mark(s)"));
}

TEST_F(StatusFooterTest, eachPhaseShowsOneForm)
{
    setPhase(RecordingPhase::paused());
    EXPECT_EQ(form(), QStringLiteral("pauseNote"));
}

TEST_F(StatusFooterTest, savedRowNamesTheFolderAndRevealsTheFile)
{
    const QString final = TestEnvironment::home() + QStringLiteral("/Videos/Olvennar/video 4/final-2.mov");
    controller->setLastFinalURL(final);
    setPhase(RecordingPhase::finished(final));
    EXPECT_EQ(form(), QStringLiteral("savedRow"));
    EXPECT_EQ(iconText(QStringLiteral("savedLabel")), QStringLiteral("Saved to ~/Videos/Olvennar/video 4"));
    EXPECT_FALSE(shows(QStringLiteral("playButton")));
    click(QStringLiteral("revealButton"));
    EXPECT_EQ(hooks.calls, QStringList({QStringLiteral("reveal ") + final}));

    // Outside the home folder the path stays absolute.
    EXPECT_EQ(StatusFooter::savedText(QStringLiteral("/srv/takes/./video 1/final.mov")), QStringLiteral("Saved to /srv/takes/video 1"));

    // "Play" follows the current mode, and plays the newest short only while it exists.
    const QString shortFile = path(QStringLiteral("short.mov"));
    controller->setLastShortURL(shortFile);
    controller->setCaptureMode(CaptureMode::short_);
    settle();
    EXPECT_TRUE(shows(QStringLiteral("playButton")));
    click(QStringLiteral("playButton"));
    EXPECT_EQ(hooks.calls.size(), 1) << "no short file on disk: nothing plays";
    QFile file(shortFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    click(QStringLiteral("playButton"));
    EXPECT_EQ(hooks.calls.last(), QStringLiteral("play ") + shortFile);
}

TEST_F(StatusFooterTest, lostFramesAreInformationAndTheTakesRowGoesOnToReady)
{
    // 300 of 1000 frames lost: the take was saved, so the studio stays idle and says it plainly.
    const std::optional<QString> lost = ScreenStopPlan::lostFramesNotice(700, 300);
    ASSERT_TRUE(lost);
    auto tools = std::make_shared<FakeFinishingTools>();
    tools->holdRenders = true;
    controller->finishQueue().setFinishingTools(tools);
    controller->inform(*lost);
    ASSERT_TRUE(QDir().mkpath(path("video 1")));
    Mixdown::Request request;
    request.rawURL = path("video 1/raw.mov");
    const QString final = path("video 1/final.mov");
    queueRender(controller->finishQueue(), QStringLiteral("video 1 · take 1 video"), request, final, path("video 1/stop.json"), QStringLiteral("t"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return tools->renders.size() == 1; }, 3000));
    settle();
    EXPECT_EQ(controller->phase(), RecordingPhase::idle());
    EXPECT_EQ(form(), QStringLiteral("destinationRow"));
    ASSERT_TRUE(shows(QStringLiteral("takeNotice")));
    EXPECT_EQ(iconText(QStringLiteral("takeNotice")), *lost);
    EXPECT_EQ(find(QStringLiteral("takeNotice"))->property("tone").toString(), QStringLiteral("secondary")) << "information, never red";
    EXPECT_FALSE(readLog().contains(QStringLiteral("take failed")));
    EXPECT_TRUE(readLog().contains(*lost));
    ASSERT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_EQ(controller->finishJobs()[0].state.kind, FinishJob::State::Kind::working);

    // The render finishes: its row is ready and the saved line shows under the notice, which stays until
    // the next take.
    tools->complete(0);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->finishJobs()[0].state.kind != FinishJob::State::Kind::working; }, 3000));
    settle();
    EXPECT_EQ(controller->finishJobs()[0].state.kind, FinishJob::State::Kind::done);
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(final));
    EXPECT_EQ(form(), QStringLiteral("savedRow")) << "the notice hides no later note";
    EXPECT_TRUE(shows(QStringLiteral("takeNotice")));

    setPhase(RecordingPhase::recording());
    EXPECT_FALSE(shows(QStringLiteral("takeNotice")));
    EXPECT_TRUE(controller->notice().isEmpty());
}

TEST_F(StatusFooterTest, aRevealWithNothingToShowTheFileSaysSoWithItsFolder)
{
    // No file manager on the bus and no desktop opener on the PATH.
    const QByteArray pathBefore = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(path("no-tools")));
    WindowActions actions = WindowActions::forController(*controller, view.get());
    actions.revealInFileManager(TestEnvironment::home() + QStringLiteral("/Videos/Olvennar/video 2/final.mov"));
    const bool told = TestEnvironment::waitUntil([this] { return !controller->notice().isEmpty(); }, 6000);
    qputenv("PATH", pathBefore);
    ASSERT_TRUE(told);
    EXPECT_EQ(controller->notice(), QStringLiteral("No file manager could be opened. The file is in ~/Videos/Olvennar/video 2"));
    settle();
    EXPECT_TRUE(shows(QStringLiteral("takeNotice")));
    EXPECT_EQ(form(), QStringLiteral("destinationRow"));
}

TEST_F(StatusFooterTest, failureShowsTheWholeMessageUntilDismissed)
{
    const QString message = QStringLiteral("Could not start the screen recording: the display went away.\n"
                                           "Nothing was saved. Press Record again. %1 stays as written");
    controller->setElapsed(12);
    setPhase(RecordingPhase::failed(message));
    EXPECT_EQ(form(), QStringLiteral("failureBlock"));
    EXPECT_EQ(iconText(QStringLiteral("failureMessage")), message);

    click(QStringLiteral("dismissButton"));
    EXPECT_EQ(controller->phase(), RecordingPhase::idle());
    EXPECT_EQ(controller->elapsed(), 0);
    EXPECT_EQ(form(), QStringLiteral("destinationRow"));
}

} // namespace
