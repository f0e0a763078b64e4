#include "ControllerTestFixture.h"

#include "platform/system/Settings.h"

#include <gtest/gtest.h>

namespace {

using Controller = RecordingController;

class ControllerModeTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        Controller& c = controller();
        c.setMicrophones({microphone(QStringLiteral("usb"), QStringLiteral("USB Desk Mic"), 4),
            microphone(QStringLiteral("builtin"), QStringLiteral("Built-in Audio"), 3)});
        c.setCameras({camera(QStringLiteral("cam"), {1440, 1080, 720})});
        hooks.calls.clear();
    }
    static QString key(const char* name, CaptureMode mode)
    {
        return QStringLiteral("modeSetting.") + QString::fromLatin1(name) + QLatin1Char('.') + CaptureModes::rawText(mode);
    }
};

TEST_F(ControllerModeTest, EachModeRemembersItsMicrophoneAndCameraQuality)
{
    Controller& c = controller();
    c.setSelectedMicrophoneID(QStringLiteral("usb"));
    EXPECT_EQ(settings->stringValue(key("mic", CaptureMode::screen)), QStringLiteral("usb"));

    c.setCaptureMode(CaptureMode::cameraOnly);
    c.setSelectedMicrophoneID(QStringLiteral("builtin"));
    c.setCameraQuality(CameraQuality::p720);
    EXPECT_EQ(settings->stringValue(key("mic", CaptureMode::cameraOnly)), QStringLiteral("builtin"));
    EXPECT_EQ(settings->stringValue(key("cameraQuality", CaptureMode::cameraOnly)), QStringLiteral("720p"));

    c.setCaptureMode(CaptureMode::screen);
    EXPECT_EQ(c.selectedMicrophoneID(), QStringLiteral("usb"));
    EXPECT_EQ(c.cameraQuality(), CameraQuality::p720); // the screen mode keeps no camera quality

    hooks.calls.clear();
    c.setCaptureMode(CaptureMode::cameraOnly);
    EXPECT_EQ(c.selectedMicrophoneID(), QStringLiteral("builtin"));
    EXPECT_EQ(c.cameraQuality(), CameraQuality::p720);
    EXPECT_TRUE(hooks.calls.contains(QStringLiteral("max height 720")));

    // Restoring never writes: the stored values stay as they were.
    EXPECT_EQ(settings->stringValue(key("mic", CaptureMode::screen)), QStringLiteral("usb"));
    EXPECT_EQ(settings->stringValue(key("mic", CaptureMode::cameraOnly)), QStringLiteral("builtin"));
}

TEST_F(ControllerModeTest, TheSwitchDuringATakeRestoresNothing)
{
    Controller& c = controller();
    settings->setString(key("mic", CaptureMode::cameraOnly), QStringLiteral("builtin"));
    settings->setString(key("cameraQuality", CaptureMode::cameraOnly), QStringLiteral("720p"));
    c.setSelectedMicrophoneID(QStringLiteral("usb"));
    for (const RecordingPhase& phase : {RecordingPhase::recording(), RecordingPhase::finishing(), RecordingPhase::countingDown()}) {
        c.setCaptureMode(CaptureMode::screen);
        c.setPhase(phase);
        c.setCaptureMode(CaptureMode::cameraOnly);
        EXPECT_EQ(c.selectedMicrophoneID(), QStringLiteral("usb"));
        EXPECT_EQ(c.cameraQuality(), CameraQuality::best);
        c.setPhase(RecordingPhase::idle());
    }
}

} // namespace
