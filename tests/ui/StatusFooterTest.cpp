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
