#include "WindowTest.h"

#include "ui/IconLabel.h"
#include "ui/StatusFooter.h"

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
    controller->setZoomMarkCount(12);
    settle();
    EXPECT_TRUE(text(QStringLiteral("destinationLine")).endsWith(QStringLiteral("  ·  12 zoom mark(s)")));

    // A short goes to the next short folder instead.
    controller->setZoomMarkCount(0);
    controller->setCaptureMode(CaptureMode::short_);
    settle();
    EXPECT_EQ(text(QStringLiteral("destinationLine")), QStringLiteral("→ ") + controller->shortDestinationName());
    EXPECT_NE(controller->shortDestinationName(), destination);
}

TEST_F(StatusFooterTest, destinationNamesTheNextTakeOfAChosenFolder)
{
    const QString folder = path(QStringLiteral("Recordings/video 3"));
    QDir().mkpath(folder);
    QFile final(QDir(folder).filePath(QStringLiteral("final.mov")));
    ASSERT_TRUE(final.open(QIODevice::WriteOnly));
    final.close();
    controller->setDestinationFolder(folder);
    settle();
    EXPECT_TRUE(text(QStringLiteral("destinationLine")).endsWith(QStringLiteral("video 3  (take 2)")));
}

TEST_F(StatusFooterTest, eachPhaseShowsOneForm)
{
    for (RecordingPhase phase : {RecordingPhase::idle(), RecordingPhase::countingDown(), RecordingPhase::preparing(), RecordingPhase::recording(),
             RecordingPhase::finishing()}) {
        setPhase(phase);
        EXPECT_EQ(form(), QStringLiteral("destinationRow")) << static_cast<int>(phase.kind());
    }
    setPhase(RecordingPhase::paused());
    EXPECT_EQ(form(), QStringLiteral("pauseNote"));
    EXPECT_EQ(iconText(QStringLiteral("pauseNote")), QStringLiteral("Paused — the finished video will have no gap"));
    // Resuming brings the destination back.
    setPhase(RecordingPhase::recording());
    EXPECT_EQ(form(), QStringLiteral("destinationRow"));
}

TEST_F(StatusFooterTest, savedRowNamesTheFolderAndRevealsTheFile)
{
    const QString final = TestEnvironment::home() + QStringLiteral("/Videos/Olvennar/video 4/final-2.mov");
    controller->setLastFinalURL(final);
    setPhase(RecordingPhase::finished(final));
    EXPECT_EQ(form(), QStringLiteral("savedRow"));
    EXPECT_EQ(iconText(QStringLiteral("savedLabel")), QStringLiteral("Saved to ~/Videos/Olvennar/video 4"));
    EXPECT_EQ(find(QStringLiteral("savedLabel"))->property("tone").toString(), QStringLiteral("green"));
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

TEST_F(StatusFooterTest, failureShowsTheWholeMessageUntilDismissed)
{
    const QString message = QStringLiteral("Could not start the screen recording: the display went away.\n"
                                           "Nothing was saved. Press Record again. %1 stays as written");
    controller->setElapsed(12);
    setPhase(RecordingPhase::failed(message));
    EXPECT_EQ(form(), QStringLiteral("failureBlock"));
    EXPECT_EQ(iconText(QStringLiteral("failureMessage")), message);
    auto* label = find<IconLabel>(QStringLiteral("failureMessage"));
    EXPECT_TRUE(label->textLabel()->wordWrap());
    EXPECT_EQ(label->property("tone").toString(), QStringLiteral("red"));

    click(QStringLiteral("dismissButton"));
    EXPECT_EQ(controller->phase(), RecordingPhase::idle());
    EXPECT_EQ(controller->elapsed(), 0);
    EXPECT_EQ(form(), QStringLiteral("destinationRow"));
}

} // namespace
