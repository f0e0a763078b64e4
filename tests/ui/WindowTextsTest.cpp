// The window's and its dialog's own texts, read where the user reads them.
#include "WindowTest.h"

#include "ui/IconLabel.h"
#include "ui/PermissionPrompt.h"
#include "ui/TransportRow.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

class WindowTextsTest : public WindowTest { };

TEST_F(WindowTextsTest, theTextsAUserReads)
{
    controller->setCaptureMode(CaptureMode::short_);
    settle();
    const QString shortNote = text(QStringLiteral("shortNote"));
    controller->setCaptureMode(CaptureMode::cameraOnly);
    settle();
    const QString cameraOnlyNote = text(QStringLiteral("cameraOnlyNote"));
    controller->setCaptureMode(CaptureMode::screen);
    setPhase(RecordingPhase::paused());
    const QString pauseNote = find<IconLabel>(QStringLiteral("pauseNote"))->text();
    const QString discardTip = find<QPushButton>(QStringLiteral("discardButton"))->toolTip();
    click(QStringLiteral("discardButton"));
    QMessageBox* confirmation = view->transport()->discardConfirmation();
    ASSERT_NE(confirmation, nullptr);

    const std::vector<std::pair<QString, QString>> texts{
        {discardTip, QStringLiteral("Discard this take — deletes it without saving")},
        {confirmation->text(), QStringLiteral("Discard this take?")},
        {confirmation->informativeText(), QStringLiteral("Nothing recorded so far will be saved. This can't be undone.")},
        {shortNote, QStringLiteral("Vertical 9:16 video (1080×1920) for Shorts, Reels and TikTok. Each one gets its own folder inside Shorts.")},
        {cameraOnlyNote, QStringLiteral("Camera and microphone only — no screen, and no Screen Recording permission needed.")},
        {PermissionPrompt::explanation(),
            QStringLiteral("Your X11 session has to allow Olvennar to see your screen. After granting it, quit and reopen the app.")},
        {pauseNote, QStringLiteral("Paused — the finished video will have no gap")},
    };
    for (const auto& [shown, expected] : texts)
        EXPECT_EQ(shown, expected);
    confirmation->findChild<QPushButton*>(QStringLiteral("cancelDiscardButton"))->click();
}

TEST_F(WindowTextsTest, theStopButtonEndsATake)
{
    setPhase(RecordingPhase::recording());
    click(QStringLiteral("stopButton"));
    EXPECT_EQ(taken, QStringList({"stop"}));
}

} // namespace
