#include "WindowTest.h"

#include "ui/MicrophoneNotice.h"
#include "ui/MicrophonePicker.h"
#include "ui/PermissionNotice.h"
#include "ui/PermissionPrompt.h"
#include "ui/SegmentedControl.h"
#include "ui/WarningRow.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QScrollArea>
#include <QToolButton>

namespace {

using State = Permissions::State;

class PermissionNoticesTest : public WindowTest {
protected:
    void TearDown() override
    {
        // Access instructions open as their own windows.
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox*>(window))
                window->close();
        }
        WindowTest::TearDown();
    }
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
    EXPECT_TRUE(shows(QStringLiteral("recordButton")));
    EXPECT_TRUE(shows(QStringLiteral("destinationRow")));
    EXPECT_EQ(PermissionPrompt::explanation(),
        QStringLiteral("Your X11 session has to allow Olvennar to see your screen. After granting it, quit and reopen the app."));

    // The prompt's own mode picker reaches a mode that needs no screen access.
    auto* prompt = find(QStringLiteral("promptBranch"));
    auto* modes = prompt->findChild<SegmentedControl*>(QStringLiteral("captureModePicker"));
    ASSERT_NE(modes, nullptr);
    modes->segment(1)->click();
    settle();
    EXPECT_EQ(controller->captureMode(), CaptureMode::cameraOnly);
    EXPECT_FALSE(shows(QStringLiteral("screenPermissionPrompt")));
    EXPECT_TRUE(view->scrollArea()->isVisibleTo(view.get()));

    // Back to "Screen": the prompt returns until access is there.
    controller->setCaptureMode(CaptureMode::screen);
    settle();
    EXPECT_TRUE(shows(QStringLiteral("screenPermissionPrompt")));
    controller->setHasScreenPermission(true);
    settle();
    EXPECT_FALSE(shows(QStringLiteral("screenPermissionPrompt")));
    EXPECT_TRUE(shows(QStringLiteral("screenSection")));
}

TEST_F(PermissionNoticesTest, grantPermissionLooksAgainAndSaysWhatToChangeOnLinux)
{
    controller->setHasScreenPermission(false);
    access.screenState = State::denied;
    settle();
    click(QStringLiteral("grantScreenButton"));
    EXPECT_FALSE(controller->hasScreenPermission());
    bool instructed = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->text().contains(QStringLiteral("X11")))
            instructed = true;
    }
    EXPECT_TRUE(instructed);

    access.screenState = State::granted;
    click(QStringLiteral("grantScreenButton"));
    EXPECT_TRUE(controller->hasScreenPermission());
    EXPECT_FALSE(shows(QStringLiteral("screenPermissionPrompt")));
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

TEST_F(PermissionNoticesTest, bothRowsShowMicrophoneFirstAndGrantRemovesARowOnceAccessIsThere)
{
    controller->setCameraEnabled(true);
    controller->setMicPermission(State::notAsked);
    controller->setCameraPermission(State::denied);
    settle();
    QWidget* microphoneRow = find(QStringLiteral("microphoneAccessRow"));
    QWidget* cameraRow = find(QStringLiteral("cameraAccessRow"));
    ASSERT_TRUE(microphoneRow->isVisibleTo(view.get()) && cameraRow->isVisibleTo(view.get()));
    EXPECT_LT(microphoneRow->y(), cameraRow->y());
    EXPECT_EQ(PermissionNotice::footnote(), QStringLiteral("If Linux does not ask, let Olvennar reach the sound server and add your user "
                                                           "to the \"video\" group, then quit and reopen the app."));

    // The sound server answers now: the microphone row goes, the camera row stays.
    access.microphoneState = State::granted;
    access.cameraState = State::denied;
    microphoneRow->findChild<QAbstractButton*>(QStringLiteral("grantButton"))->click();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->micPermission() == State::granted; }, 2000));
    settle();
    EXPECT_FALSE(shows(QStringLiteral("microphoneAccessRow")));
    EXPECT_TRUE(shows(QStringLiteral("cameraAccessRow")));

    // A refused camera keeps its row; the instruction says where to switch access on.
    cameraRow->findChild<QAbstractButton*>(QStringLiteral("grantButton"))->click();
    settle();
    EXPECT_EQ(controller->cameraPermission(), State::denied);
    EXPECT_TRUE(shows(QStringLiteral("cameraAccessRow")));
}

TEST_F(PermissionNoticesTest, microphoneNoticeNamesTheBetterMicrophoneWhileOneIsNeeded)
{
    controller->setMicrophones({device("bt", "Headset", 1), device("usb", "USB Mic", 3), device("int", "Built-in", 2)});
    controller->setSelectedMicrophoneID(QStringLiteral("bt"));
    settle();
    EXPECT_TRUE(shows(QStringLiteral("microphoneNotice")));
    EXPECT_EQ(MicrophoneNotice::message(*controller), QStringLiteral("Microphone: Headset — USB Mic is better. Switch Input."));

    // Not needed: a screen take without the microphone.
    controller->setCaptureMicrophone(false);
    settle();
    EXPECT_FALSE(shows(QStringLiteral("microphoneNotice")));
    // Voice takes always need it.
    controller->setCaptureMode(CaptureMode::voice);
    settle();
    EXPECT_TRUE(shows(QStringLiteral("microphoneNotice")));

    // The best one selected, or a selection that is not listed: nothing to say.
    controller->setSelectedMicrophoneID(QStringLiteral("usb"));
    settle();
    EXPECT_FALSE(shows(QStringLiteral("microphoneNotice")));
    controller->setSelectedMicrophoneID(QStringLiteral("gone"));
    settle();
    EXPECT_FALSE(shows(QStringLiteral("microphoneNotice")));
}

TEST_F(PermissionNoticesTest, microphonePickerRowsAndWarningsWithTheirFallbacks)
{
    // No microphone and no selection: neither a picker nor a name, and no warning.
    settle();
    EXPECT_FALSE(shows(QStringLiteral("inputPicker")));
    EXPECT_FALSE(shows(QStringLiteral("inputRow")));
    EXPECT_EQ(warningText(QStringLiteral("microphoneWarning")), QString());

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

    // Choosing in the picker writes the selection; the warning goes.
    auto* picker = find(QStringLiteral("inputPicker"))->findChild<QComboBox*>();
    ASSERT_EQ(picker->count(), 2);
    EXPECT_EQ(picker->currentText(), QStringLiteral("Headset"));
    picker->setCurrentIndex(1);
    Q_EMIT picker->activated(1);
    settle();
    EXPECT_EQ(controller->selectedMicrophoneID(), std::optional<QString>(QStringLiteral("rx")));
    EXPECT_EQ(warningText(QStringLiteral("microphoneWarning")), QString());

    // A selection the list does not hold shows in no entry and stays as it is.
    controller->setSelectedMicrophoneID(QStringLiteral("gone"));
    settle();
    EXPECT_EQ(picker->currentIndex(), -1);
    EXPECT_EQ(controller->selectedMicrophoneID(), std::optional<QString>(QStringLiteral("gone")));
}

TEST_F(PermissionNoticesTest, bestMicrophoneIsTheFirstAmongEqualRanks)
{
    controller->setMicrophones({device("a", "A", 2), device("b", "B", 3), device("c", "C", 3)});
    EXPECT_EQ(MicrophonePicker::bestMicrophone(*controller)->uniqueID, QStringLiteral("b"));
    controller->setMicrophones({});
    EXPECT_FALSE(MicrophonePicker::bestMicrophone(*controller).has_value());
}

} // namespace
