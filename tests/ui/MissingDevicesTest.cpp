// A machine without a camera is told so where a camera is needed, never sent to a group it need not join; a
// camera that exists but cannot be opened gets the group advice. A mode switch puts a dialog up only when
// entering Short asks for a camera that exists.
#include "WindowTest.h"

#include "framing/FramingMonitor.h"
#include "ui/PickerRow.h"

#include <QComboBox>

namespace {

using State = Permissions::State;

const QString noCamera = QStringLiteral("No camera found.");
const std::vector<CaptureMode> allModes{CaptureMode::screen, CaptureMode::cameraOnly, CaptureMode::short_, CaptureMode::voice};

class MissingDevicesTest : public WindowTest {
protected:
    // No /dev/video* at all (notAsked), or nodes the user may not read (denied); either way none is listed.
    void withCamera(State state)
    {
        access.cameraState = state;
        controller->setCameraPermission(state);
        controller->setCameras({});
        settle();
    }
    // The window takes its size from its content, as the main window does.
    void enter(CaptureMode mode)
    {
        controller->setCaptureMode(mode);
        settle();
        view->adjustSize();
        settle();
    }
    QString pickerSays(const QString& name) const
    {
        auto* picker = find<PickerRow>(name);
        return picker ? picker->popup()->placeholderText() : QStringLiteral("(no picker)");
    }
    // The mode switch's place in the window.
    QRect modeSwitch() const
    {
        QWidget* picker = find(QStringLiteral("captureModePicker"));
        return picker ? QRect(picker->mapTo(view.get(), QPoint(0, 0)), picker->size()) : QRect();
    }
};

TEST_F(MissingDevicesTest, noCameraIsSaidAsMissingInJustMeShortAndTheBubbleWithoutADialog)
{
    withCamera(State::notAsked);

    enter(CaptureMode::cameraOnly);
    EXPECT_FALSE(shows(QStringLiteral("permissionNotice"))) << "nothing to grant on a machine without a camera";
    EXPECT_EQ(pickerSays(QStringLiteral("cameraOnlyCameraPicker")), noCamera);
    EXPECT_FALSE(shows(QStringLiteral("cameraQualityFixed"))) << "no size to speak of without a camera";

    enter(CaptureMode::short_);
    EXPECT_FALSE(shows(QStringLiteral("permissionNotice")));
    EXPECT_EQ(pickerSays(QStringLiteral("shortCameraPicker")), noCamera);
    EXPECT_EQ(text(QStringLiteral("shortFramingText")), noCamera) << "not waiting for a camera that is not there";
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(noCamera));

    // The bubble in Screen mode: switched back off with the same words.
    controller->reset();
    enter(CaptureMode::screen);
    controller->setCameraEnabled(true);
    settle();
    EXPECT_FALSE(controller->cameraEnabled());
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(noCamera));
    EXPECT_EQ(pickerSays(QStringLiteral("cameraPicker")), noCamera);
    for (CaptureMode mode : allModes)
        enter(mode);
    EXPECT_TRUE(access.instructionsShown.isEmpty()) << access.instructionsShown.join(QLatin1Char(' ')).toStdString();
}

TEST_F(MissingDevicesTest, checkFramingWithoutACameraSaysSoInsteadOfWaiting)
{
    withCamera(State::notAsked);
    enter(CaptureMode::cameraOnly);
    click(QStringLiteral("checkFramingButton"));
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(noCamera));
    EXPECT_EQ(controller->framingWindow(), nullptr);

    // In Screen mode the check opens, and its verdict is the missing camera, not "Waiting for the camera…".
    controller->reset();
    enter(CaptureMode::screen);
    QCoro::waitFor(controller->openFramingCheck());
    settle();
    EXPECT_EQ(controller->routing().framing().report().overall.hints, QStringList{noCamera});
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(noCamera));
    EXPECT_TRUE(access.instructionsShown.isEmpty());

    // A camera arriving brings the waiting words back.
    controller->setCameras({device(QStringLiteral("desk"), QStringLiteral("Desk camera"))});
    access.cameraState = State::granted;
    controller->updateFramingRouting();
    EXPECT_EQ(controller->routing().framing().report(), FramingReport::idle());
}

TEST_F(MissingDevicesTest, anUnreadableCameraGetsTheGroupAdviceAndADialogOnlyWhereShortAsks)
{
    withCamera(State::denied);

    enter(CaptureMode::cameraOnly);
    EXPECT_TRUE(shows(QStringLiteral("cameraAccessRow")));
    EXPECT_TRUE(text(QStringLiteral("permissionFootnote")).contains(QStringLiteral("\"video\" group")));
    EXPECT_TRUE(pickerSays(QStringLiteral("cameraOnlyCameraPicker")).isEmpty()) << "the camera exists: access is the problem";

    EXPECT_TRUE(access.instructionsShown.isEmpty()) << "entering Just me shows the notice, no dialog";

    const QStringList cameraPane{QString::fromLatin1(Permissions::cameraPane)};
    enter(CaptureMode::short_);
    EXPECT_TRUE(controller->phase().payload().contains(QStringLiteral("\"video\" group"))) << controller->phase().payload().toStdString();
    EXPECT_NE(text(QStringLiteral("shortFramingText")), noCamera);
    EXPECT_EQ(access.instructionsShown, cameraPane) << "entering Short asks for the camera";
    for (CaptureMode mode : allModes)
        enter(mode);
    EXPECT_EQ(access.instructionsShown, cameraPane + cameraPane) << "the other modes show the notice, never a dialog";

    // Asked for by a click, the instruction is shown.
    controller->reset();
    enter(CaptureMode::cameraOnly);
    click(QStringLiteral("checkFramingButton"));
    EXPECT_EQ(access.instructionsShown, cameraPane + cameraPane + cameraPane);
    EXPECT_TRUE(controller->phase().payload().contains(QStringLiteral("\"video\" group")));
}

TEST_F(MissingDevicesTest, justMeWithoutACameraLeavesTheModeSwitchWhereItWas)
{
    withCamera(State::notAsked);
    enter(CaptureMode::screen);
    const QRect before = modeSwitch();
    ASSERT_TRUE(before.isValid());
    enter(CaptureMode::cameraOnly);
    EXPECT_FALSE(shows(QStringLiteral("permissionNotice")));
    EXPECT_EQ(modeSwitch(), before);
    enter(CaptureMode::short_);
    EXPECT_EQ(modeSwitch(), before);

    // A real refusal does show the notice, above the switch, as it should.
    withCamera(State::denied);
    enter(CaptureMode::screen);
    enter(CaptureMode::cameraOnly);
    EXPECT_TRUE(shows(QStringLiteral("permissionNotice")));
    EXPECT_GT(modeSwitch().top(), before.top());
}

} // namespace
