#include "WindowTest.h"

#include "ui/TransportRow.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include <limits>

namespace {

class TransportTest : public WindowTest {
protected:
    QMessageBox* confirmation() const { return view->transport()->discardConfirmation(); }
    void answer(const QString& buttonName)
    {
        ASSERT_NE(confirmation(), nullptr);
        auto* button = confirmation()->findChild<QPushButton*>(buttonName);
        ASSERT_NE(button, nullptr);
        button->click();
        settle();
    }
};

struct PhaseRow {
    RecordingPhase phase;
    QStringList shown; // of record, busy, pause, discard, stop
    QString busyLabel;
    QString pauseFace;
};

TEST_F(TransportTest, eachPhaseShowsItsRowAndBusyLabel)
{
    const std::vector<PhaseRow> rows{
        {RecordingPhase::idle(), {"record"}, "", "Pause"},
        {RecordingPhase::countingDown(), {"busy"}, "Get ready…", "Pause"},
        {RecordingPhase::preparing(), {"busy"}, "Starting…", "Pause"},
        {RecordingPhase::recording(), {"pause", "discard", "stop"}, "", "Pause"},
        {RecordingPhase::paused(), {"pause", "discard", "stop"}, "", "Resume"},
        {RecordingPhase::finishing(), {"busy"}, "Finishing — painting in the overlays…", "Pause"},
        {RecordingPhase::finished(path("final.mov")), {"record"}, "", "Pause"},
        {RecordingPhase::failed(QStringLiteral("Could not start.")), {"record"}, "", "Pause"},
    };
    for (const PhaseRow& row : rows) {
        setPhase(row.phase);
        QStringList shown;
        for (const auto& [name, widget] : std::vector<std::pair<QString, QString>>{{"record", "recordButton"}, {"busy", "busyIndicator"},
                 {"pause", "pauseButton"}, {"discard", "discardButton"}, {"stop", "stopButton"}}) {
            if (shows(widget))
                shown << name;
        }
        EXPECT_EQ(shown, row.shown) << "phase " << static_cast<int>(row.phase.kind());
        EXPECT_EQ(TransportRow::busyLabel(*controller), row.busyLabel);
        if (row.shown.contains(QStringLiteral("busy"))) {
            EXPECT_EQ(text(QStringLiteral("busyLabel")), row.busyLabel);
        }
        if (row.shown.contains(QStringLiteral("pause"))) {
            EXPECT_EQ(find<QPushButton>(QStringLiteral("pauseButton"))->text(), row.pauseFace);
        }
    }
}

TEST_F(TransportTest, noControlIsDisabledInAnyMode)
{
    for (CaptureMode mode : CaptureModes::allCases) {
        controller->setCaptureMode(mode);
        setPhase(RecordingPhase::recording());
        EXPECT_TRUE(find<QPushButton>(QStringLiteral("pauseButton"))->isEnabled()) << CaptureModes::rawText(mode).toStdString();
        setPhase(RecordingPhase::paused());
        EXPECT_TRUE(find<QPushButton>(QStringLiteral("pauseButton"))->isEnabled()) << CaptureModes::rawText(mode).toStdString();
        // Stop and Discard stay usable in every mode.
        EXPECT_TRUE(find<QPushButton>(QStringLiteral("stopButton"))->isEnabled());
        EXPECT_TRUE(find<QPushButton>(QStringLiteral("discardButton"))->isEnabled());
        setPhase(RecordingPhase::idle());
    }
}

TEST_F(TransportTest, pauseInAVoiceTakeIsAPressThatDoesNothing)
{
    controller->setCaptureMode(CaptureMode::voice);
    setPhase(RecordingPhase::recording());
    find<QPushButton>(QStringLiteral("pauseButton"))->click();
    settle();
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording);
    EXPECT_TRUE(shows(QStringLiteral("stopButton")));
}

TEST_F(TransportTest, discardAsksFirstAndCancelKeepsTheTake)
{
    setPhase(RecordingPhase::recording());
    click(QStringLiteral("discardButton"));
    ASSERT_NE(confirmation(), nullptr);
    EXPECT_TRUE(taken.isEmpty()) << "opening the dialog neither pauses nor stops";

    answer(QStringLiteral("cancelDiscardButton"));
    EXPECT_EQ(confirmation(), nullptr);
    EXPECT_TRUE(taken.isEmpty());
    EXPECT_EQ(controller->phase(), RecordingPhase::recording());

    // Escape answers like Cancel.
    click(QStringLiteral("discardButton"));
    ASSERT_NE(confirmation(), nullptr);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(confirmation(), &escape);
    settle();
    EXPECT_EQ(confirmation(), nullptr);
    EXPECT_TRUE(taken.isEmpty());
}

TEST_F(TransportTest, aStopWhileTheDialogIsOpenClosesItAndALaterTakeIsNeverDiscarded)
{
    setPhase(RecordingPhase::recording());
    click(QStringLiteral("discardButton"));
    QPointer<QMessageBox> box = confirmation();
    ASSERT_FALSE(box.isNull());

    // A hot key stops the take: the dialog goes at once, before the window even redraws.
    controller->setPhase(RecordingPhase::finishing());
    EXPECT_FALSE(view->transport()->showingDiscardConfirmation());
    settle();
    EXPECT_TRUE(box.isNull() || !box->isVisible());

    // The next take starts; nothing of the old dialog can throw it away.
    setPhase(RecordingPhase::idle());
    setPhase(RecordingPhase::recording());
    EXPECT_EQ(confirmation(), nullptr);
    EXPECT_TRUE(taken.isEmpty());
    EXPECT_EQ(controller->phase(), RecordingPhase::recording());

    // Pausing and resuming is the same take: the dialog stays.
    click(QStringLiteral("discardButton"));
    setPhase(RecordingPhase::paused());
    setPhase(RecordingPhase::recording());
    EXPECT_NE(confirmation(), nullptr);
    answer(QStringLiteral("confirmDiscardButton"));
    EXPECT_EQ(taken, QStringList({"discard"}));
}

TEST_F(TransportTest, timerWarnsOnlyDuringLongShortsAndReadsItsTime)
{
    struct Case {
        CaptureMode mode;
        RecordingPhase phase;
        double elapsed;
        const char* tone;
    };
    const std::vector<Case> cases{
        {CaptureMode::short_, RecordingPhase::recording(), 39.9, "primary"},
        {CaptureMode::short_, RecordingPhase::recording(), 40, "orange"},
        {CaptureMode::short_, RecordingPhase::recording(), 60, "red"},
        {CaptureMode::short_, RecordingPhase::paused(), 75, "secondary"},
        {CaptureMode::screen, RecordingPhase::recording(), 4000, "primary"},
        {CaptureMode::screen, RecordingPhase::paused(), 10, "secondary"},
    };
    for (const Case& c : cases) {
        // The mode stands while a take is under way: each case picks its mode between takes.
        controller->setPhase(RecordingPhase::idle());
        controller->setCaptureMode(c.mode);
        controller->setPhase(c.phase);
        controller->setElapsed(c.elapsed);
        settle();
        EXPECT_EQ(find(QStringLiteral("timer"))->property("tone").toString(), QString::fromLatin1(c.tone))
            << CaptureModes::rawText(c.mode).toStdString() << " " << c.elapsed;
    }
    // Hours appear only when needed; an unusable elapsed time reads as zero.
    controller->setElapsed(3600);
    settle();
    EXPECT_EQ(text(QStringLiteral("timer")), QStringLiteral("1:00:00"));
    controller->setElapsed(std::numeric_limits<double>::quiet_NaN());
    settle();
    EXPECT_EQ(text(QStringLiteral("timer")), QStringLiteral("00:00"));
}

} // namespace
