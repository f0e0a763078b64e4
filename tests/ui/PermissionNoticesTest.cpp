#include "WindowTest.h"

#include "ui/MicrophoneNotice.h"
#include "ui/PermissionNotice.h"
#include "ui/SegmentedControl.h"
#include "ui/WarningRow.h"

#include <QComboBox>
#include <QScrollArea>
#include <QToolButton>

namespace {

using State = Permissions::State;

class PermissionNoticesTest : public WindowTest {
protected:
    QString warningText(const QString& name) const
    {
        auto* row = find<WarningRow>(name);
        return row && row->isVisibleTo(view.get()) ? row->text() : QString();
    }
};

TEST_F(PermissionNoticesTest, missingScreenAccessInScreenModeShowsThePromptInsteadOfTheSettings)
{
    controller->setHasScreenPermission(false);
    settle();
    EXPECT_TRUE(view->showsPermissionPrompt());
    EXPECT_TRUE(shows(QStringLiteral("screenPermissionPrompt")));
    EXPECT_FALSE(view->scrollArea()->isVisibleTo(view.get()));
    EXPECT_FALSE(shows(QStringLiteral("screenSection")));

    // The prompt's own mode picker reaches a mode that needs no screen access.
    auto* prompt = find(QStringLiteral("promptBranch"));
    auto* modes = prompt->findChild<SegmentedControl*>(QStringLiteral("captureModePicker"));
    ASSERT_NE(modes, nullptr);
    modes->segment(1)->click();
    settle();
    EXPECT_EQ(controller->captureMode(), CaptureMode::cameraOnly);
    EXPECT_FALSE(shows(QStringLiteral("screenPermissionPrompt")));
    EXPECT_TRUE(view->scrollArea()->isVisibleTo(view.get()));
}

struct AccessCase {
    CaptureMode mode;
    bool microphoneSwitch;
    bool cameraSwitch;
    State microphone;
    State camera;
    bool microphoneRow;
    bool cameraRow;
};

TEST_F(PermissionNoticesTest, permissionNoticeListsExactlyTheAccessTheNextTakeNeeds)
{
    const std::vector<AccessCase> cases{
        // Screen: only what the switches turn on counts.
        {CaptureMode::screen, false, false, State::denied, State::denied, false, false},
        {CaptureMode::screen, true, false, State::denied, State::denied, true, false},
        {CaptureMode::screen, false, true, State::notAsked, State::notAsked, false, true},
        {CaptureMode::screen, true, true, State::denied, State::denied, true, true},
        {CaptureMode::screen, true, true, State::granted, State::granted, false, false},
        // The camera-only modes always need both.
        {CaptureMode::cameraOnly, false, false, State::notAsked, State::denied, true, true},
        {CaptureMode::short_, false, false, State::granted, State::denied, false, true},
        // Voice never needs the camera, and needs the microphone even with its switch off.
        {CaptureMode::voice, false, true, State::granted, State::denied, false, false},
        {CaptureMode::voice, false, false, State::notAsked, State::denied, true, false},
    };
    for (const AccessCase& c : cases) {
        // Entering the Short mode opens the short window, which re-reads the camera access the probe reports.
        access.cameraState = c.mode == CaptureMode::short_ ? c.camera : State::granted;
        controller->setCaptureMode(c.mode);
        controller->setCaptureMicrophone(c.microphoneSwitch);
        controller->setCameraEnabled(c.cameraSwitch);
        controller->setMicPermission(c.microphone);
        controller->setCameraPermission(c.camera);
        settle();
        const std::string where = CaptureModes::rawText(c.mode).toStdString() + " mic " + std::to_string(c.microphoneSwitch) + " camera "
            + std::to_string(c.cameraSwitch);
        EXPECT_EQ(shows(QStringLiteral("permissionNotice")), c.microphoneRow || c.cameraRow) << where;
        EXPECT_EQ(shows(QStringLiteral("microphoneAccessRow")), c.microphoneRow) << where;
        EXPECT_EQ(shows(QStringLiteral("cameraAccessRow")), c.cameraRow) << where;
    }
}

TEST_F(PermissionNoticesTest, microphonePickerRowsAndWarningsWithTheirFallbacks)
{
    // One microphone: its name, and the preferred receiver (default name) is missing.
    controller->setMicrophones({device("int", "Built-in", 2)});
    controller->setSelectedMicrophoneID(QStringLiteral("int"));
    settle();
    EXPECT_FALSE(shows(QStringLiteral("inputPicker")));
    EXPECT_TRUE(shows(QStringLiteral("inputRow")));
    EXPECT_EQ(text(QStringLiteral("inputName")), QStringLiteral("Built-in"));
    EXPECT_EQ(warningText(QStringLiteral("microphoneWarning")),
        QStringLiteral("Wireless Mic Rx is not plugged in. Recording through Built-in. Plug the receiver into the computer, it is picked automatically."));

    // The stored preferred name is the one named; the missing-receiver warning wins over the better one.
    settings->setString(RecordingController::Keys::preferredMicName(), QStringLiteral("Studio Rx"));
    controller->setMicrophones({device("bt", "Headset", 1), device("int", "Built-in", 2)});
    controller->setSelectedMicrophoneID(QStringLiteral("bt"));
    settle();
    EXPECT_TRUE(shows(QStringLiteral("inputPicker")));
    EXPECT_TRUE(controller->usingWorseMicrophoneThanAvailable());
    EXPECT_TRUE(warningText(QStringLiteral("microphoneWarning")).startsWith(QStringLiteral("Studio Rx is not plugged in. Recording through Headset. ")));

    // The receiver is plugged in but not chosen: the better-microphone warning.
    controller->setMicrophones({device("bt", "Headset", 1), device("rx", "Studio Rx 2", 3)});
    settle();
    EXPECT_EQ(warningText(QStringLiteral("microphoneWarning")),
        QStringLiteral("Recording through Headset. Studio Rx 2 is attached and is better — switch Input above. "
                       "Bluetooth mics drop to ~16 kHz mono when recording."));

    // A selection the list does not hold shows in no entry and stays as it is.
    controller->setSelectedMicrophoneID(QStringLiteral("gone"));
    settle();
    EXPECT_EQ(find(QStringLiteral("inputPicker"))->findChild<QComboBox*>()->currentIndex(), -1);
    EXPECT_EQ(controller->selectedMicrophoneID(), std::optional<QString>(QStringLiteral("gone")));
}

} // namespace
