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

TEST_F(ControllerModeTest, ModeKeyUsesTheCurrentModesExactRawText)
{
    const struct {
        CaptureMode mode;
        const char* text;
    } cases[] = {{CaptureMode::screen, "Screen"}, {CaptureMode::cameraOnly, "Just me"}, {CaptureMode::voice, "Voice only"}, {CaptureMode::short_, "Short"}};
    for (const auto& c : cases) {
        EXPECT_EQ(CaptureModes::fromRawText(QString::fromLatin1(c.text)), c.mode) << c.text;
        controller().setCaptureMode(c.mode);
        EXPECT_EQ(controller().modeKey(QStringLiteral("mic")), QStringLiteral("modeSetting.mic.") + QString::fromLatin1(c.text));
    }
    EXPECT_FALSE(CaptureModes::fromRawText(QStringLiteral("just me")));
    EXPECT_FALSE(CameraQualities::fromRawText(QStringLiteral("best")));
    EXPECT_FALSE(ScreenQualities::fromRawText(QStringLiteral("native")));
}

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

TEST_F(ControllerModeTest, RestoringWritesNothingEvenForAModeWithoutStoredValues)
{
    Controller& c = controller();
    settings->setString(key("mic", CaptureMode::short_), QStringLiteral("builtin"));
    settings->setString(key("cameraQuality", CaptureMode::short_), QStringLiteral("1080p"));
    c.setCaptureMode(CaptureMode::short_);
    EXPECT_EQ(c.selectedMicrophoneID(), QStringLiteral("builtin"));
    EXPECT_EQ(c.cameraQuality(), CameraQuality::p1080);
    c.setCaptureMode(CaptureMode::voice);
    EXPECT_FALSE(settings->contains(key("mic", CaptureMode::voice)));
    EXPECT_FALSE(settings->contains(key("cameraQuality", CaptureMode::voice)));
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
    // After a failed or finished take the studio is free again.
    c.setCaptureMode(CaptureMode::screen);
    c.setPhase(RecordingPhase::failed(QStringLiteral("x")));
    c.setCaptureMode(CaptureMode::cameraOnly);
    EXPECT_EQ(c.selectedMicrophoneID(), QStringLiteral("builtin"));
}

TEST_F(ControllerModeTest, ThePreferredMicrophoneAlwaysWins)
{
    Controller& c = controller();
    settings->setString(key("mic", CaptureMode::cameraOnly), QStringLiteral("builtin"));
    c.setMicrophones({microphone(QStringLiteral("usb"), QStringLiteral("USB Desk Mic")),
        microphone(QStringLiteral("builtin"), QStringLiteral("Built-in Audio")),
        microphone(QStringLiteral("rx"), QStringLiteral("RØDE wireless mic rx 2"))});
    c.setCaptureMode(CaptureMode::cameraOnly);
    EXPECT_EQ(c.selectedMicrophoneID(), QStringLiteral("rx"));
    EXPECT_EQ(settings->stringValue(key("mic", CaptureMode::cameraOnly)), QStringLiteral("builtin"));

    settings->setString(QStringLiteral("preferredMicName"), QStringLiteral("desk"));
    EXPECT_EQ(c.preferredMicrophone()->uniqueID, QStringLiteral("usb"));
}

TEST_F(ControllerModeTest, AStoredMicrophoneThatIsNotListedLeavesTheSelection)
{
    Controller& c = controller();
    c.setSelectedMicrophoneID(QStringLiteral("usb"));
    settings->setString(key("mic", CaptureMode::voice), QStringLiteral("gone"));
    c.setCaptureMode(CaptureMode::voice);
    EXPECT_EQ(c.selectedMicrophoneID(), QStringLiteral("usb"));
    // Choosing no microphone removes the mode's key.
    c.setSelectedMicrophoneID(std::nullopt);
    EXPECT_FALSE(settings->contains(key("mic", CaptureMode::voice)));
}

TEST_F(ControllerModeTest, AStoredCameraQualityTheCameraCannotGiveBecomesBest)
{
    Controller& c = controller();
    c.setCameras({camera(QStringLiteral("small"), {720})});
    for (const char* stored : {"1080p", "720p", "Ultra", "best"}) {
        c.setCaptureMode(CaptureMode::screen);
        c.setCameraQuality(CameraQuality::p1080); // something to move away from
        settings->setString(key("cameraQuality", CaptureMode::short_), QString::fromLatin1(stored));
        c.setCaptureMode(CaptureMode::short_);
        EXPECT_EQ(c.cameraQuality(), CameraQuality::best) << stored;
    }
}

TEST_F(ControllerModeTest, CameraQualityObserver)
{
    Controller& c = controller();
    c.setCaptureMode(CaptureMode::cameraOnly);
    c.setCameraOnlyPreviewCameraID(QStringLiteral("cam"));
    hooks.calls.clear();
    c.setCameraQuality(CameraQuality::best); // the same again
    EXPECT_TRUE(hooks.calls.isEmpty());
    EXPECT_FALSE(settings->contains(key("cameraQuality", CaptureMode::cameraOnly)));
    EXPECT_EQ(c.cameraOnlyPreviewCameraID(), QStringLiteral("cam"));

    c.setCameraQuality(CameraQuality::p1080);
    EXPECT_EQ(hooks.calls, (QStringList{QStringLiteral("max height 1080"), QStringLiteral("routing")}));
    EXPECT_FALSE(c.cameraOnlyPreviewCameraID()); // a fresh preview in the new format

    // During a take the cap waits for the next preview.
    c.setCameraOnlyPreviewCameraID(QStringLiteral("cam"));
    c.setPhase(RecordingPhase::recording());
    hooks.calls.clear();
    c.setCameraQuality(CameraQuality::p720);
    EXPECT_EQ(hooks.calls, QStringList{QStringLiteral("max height 720")});
    EXPECT_EQ(c.cameraOnlyPreviewCameraID(), QStringLiteral("cam"));
}

TEST_F(ControllerModeTest, EnteringAndLeavingShortMode)
{
    Controller& c = controller();
    const int refreshes = c.handoffRefreshCount();
    c.setCaptureMode(CaptureMode::short_);
    EXPECT_EQ(hooks.calls, (QStringList{QStringLiteral("max height none"), QStringLiteral("short profile 1"), QStringLiteral("routing")}));
    EXPECT_EQ(c.handoffRefreshCount(), refreshes + 1);
    EXPECT_TRUE(c.isWatchingNextTake());
    // The preview opens on a later turn of the event loop.
    EXPECT_FALSE(hooks.calls.contains(QStringLiteral("open short preview")));
    EXPECT_TRUE(TestEnvironment::waitUntil([this] { return hooks.calls.contains(QStringLiteral("open short preview")); }, 1000));

    hooks.calls.clear();
    c.setCaptureMode(CaptureMode::short_);
    EXPECT_TRUE(hooks.calls.isEmpty()); // the same mode does nothing

    c.setCaptureMode(CaptureMode::voice);
    EXPECT_EQ(hooks.calls, (QStringList{QStringLiteral("close short windows"), QStringLiteral("short profile 0"), QStringLiteral("routing")}));
    hooks.calls.clear();
    c.setCaptureMode(CaptureMode::screen);
    EXPECT_EQ(hooks.calls, QStringList{QStringLiteral("routing")});
}

TEST(CameraQualities, OfferedFromThirtyFpsLandscapeFormats)
{
    const auto format = [](int w, int h, std::vector<CaptureDeviceInfo::FrameRateRange> ranges) {
        return CaptureDeviceInfo::Format{w, h, std::move(ranges)};
    };
    const struct {
        const char* name;
        std::vector<CaptureDeviceInfo::Format> formats;
        std::vector<CameraQuality> offered;
    } cases[] = {
        {"1440, 1080, 720 lines", {format(1920, 1440, {{5, 30}}), format(1920, 1080, {{30, 30}}), format(1280, 720, {{30, 60}})},
            {CameraQuality::best, CameraQuality::p1080, CameraQuality::p720}},
        {"only 720", {format(1280, 720, {{30, 30}})}, {CameraQuality::best}},
        {"1080 at most", {format(1920, 1080, {{30, 30}}), format(1280, 720, {{30, 30}})}, {CameraQuality::best, CameraQuality::p720}},
        {"too wide or portrait do not count", {format(3840, 2160, {{30, 30}}), format(1080, 1920, {{30, 30}}), format(1920, 1080, {{30, 30}})},
            {CameraQuality::best}},
        {"60 fps only does not count", {format(1920, 1440, {{59, 60}}), format(1920, 1080, {{30, 30}}), format(1280, 720, {{30, 30}})},
            {CameraQuality::best, CameraQuality::p720}},
        {"judged by the first 30 fps range", {format(1920, 1440, {{60, 60}, {15, 30}}), format(1920, 1080, {{30, 30}})},
            {CameraQuality::best, CameraQuality::p1080}},
    };
    for (const auto& c : cases) {
        CaptureDeviceInfo device;
        device.formats = c.formats;
        EXPECT_EQ(CameraQualities::available(&device), c.offered) << c.name;
    }
    EXPECT_EQ(CameraQualities::available(nullptr), std::vector<CameraQuality>{CameraQuality::best});
}

TEST_F(ControllerModeTest, CameraQualityOptionsFollowTheSelectedCameraElseTheFirst)
{
    Controller& c = controller();
    c.setCameras({camera(QStringLiteral("a"), {720}), camera(QStringLiteral("b"), {1440, 1080})});
    EXPECT_EQ(c.cameraQualityOptions(), std::vector<CameraQuality>{CameraQuality::best});
    c.setSelectedCameraID(QStringLiteral("b"));
    EXPECT_EQ(c.cameraQualityOptions(), (std::vector<CameraQuality>{CameraQuality::best, CameraQuality::p1080}));
    c.setSelectedCameraID(QStringLiteral("unplugged"));
    EXPECT_EQ(c.cameraQualityOptions(), std::vector<CameraQuality>{CameraQuality::best});
    c.setCameras({});
    EXPECT_EQ(c.cameraQualityOptions(), std::vector<CameraQuality>{CameraQuality::best});
}

} // namespace
