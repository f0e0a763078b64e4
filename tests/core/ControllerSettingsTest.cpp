#include "ControllerTestFixture.h"

#include "platform/system/Settings.h"

#include <gtest/gtest.h>

namespace {

using Controller = RecordingController;
using Keys = RecordingController::Keys;

struct BoolSetting {
    QString key;
    bool fallback;
    bool (Controller::*get)() const;
    void (Controller::*set)(bool);
};

const std::vector<BoolSetting>& boolSettings()
{
    static const std::vector<BoolSetting> settings{
        {Keys::shortSafeZones(), true, &Controller::shortSafeZones, &Controller::setShortSafeZones},
        {Keys::shortFramingGuide(), true, &Controller::shortFramingGuide, &Controller::setShortFramingGuide},
        {Keys::shortMirrorFile(), false, &Controller::shortMirrorFile, &Controller::setShortMirrorFile},
        {Keys::framingHintsOnBubble(), true, &Controller::framingHintsOnBubble, &Controller::setFramingHintsOnBubble},
        {QStringLiteral("cameraGrade.2026-10-22"), false, &Controller::cameraGrade, &Controller::setCameraGrade},
        {Keys::frameFocusedWindow(), false, &Controller::frameFocusedWindow, &Controller::setFrameFocusedWindow},
        {Keys::export4K(), false, &Controller::export4K, &Controller::setExport4K},
        {QStringLiteral("clickHighlight.2026-10-30"), false, &Controller::clickHighlight, &Controller::setClickHighlight},
        {Keys::ownCursor(), true, &Controller::ownCursor, &Controller::setOwnCursor},
    };
    return settings;
}

TEST_F(ControllerTest, DefaultsOfAnEmptyStore)
{
    Controller& c = controller();
    for (const BoolSetting& setting : boolSettings())
        EXPECT_EQ((c.*setting.get)(), setting.fallback) << setting.key.toStdString();
    EXPECT_EQ(c.zoomMode(), ZoomMode::smart);
    EXPECT_EQ(c.screenLayout(), ScreenLayout::studio);
    EXPECT_EQ(c.faceLayout(), FaceLayout::tallLeft);
    EXPECT_EQ(c.studioBackground(), StudioBackground::blushMesh);
    EXPECT_EQ(c.layoutMode(), LayoutMode::dynamic);
    EXPECT_EQ(c.shortPosition(), (Controller::ShortPosition{0.5, 0.5}));
    EXPECT_EQ(c.captureMode(), CaptureMode::screen);
    EXPECT_EQ(c.phase(), RecordingPhase::idle());
    EXPECT_EQ(c.quality(), ScreenQuality::native);
    EXPECT_EQ(c.cameraQuality(), CameraQuality::best);
    EXPECT_EQ(c.bubbleSize(), 260);
    EXPECT_EQ(c.phoneHeight(), 460);
    EXPECT_EQ(c.zoomAmount(), 1.9);
    EXPECT_EQ(c.countdownSeconds(), 3);
    EXPECT_LT(c.lastTakeEndedAt().date().year(), 1000);
    EXPECT_FALSE(c.handledNextRecording());
}

TEST_F(ControllerTest, EveryBoolSettingRoundTripsAndIsWrittenOnEveryAssignment)
{
    Controller& c = controller();
    for (const BoolSetting& setting : boolSettings()) {
        (c.*setting.set)(!setting.fallback);
        EXPECT_EQ(settings->boolValue(setting.key), !setting.fallback) << setting.key.toStdString();
        EXPECT_EQ((*relaunch().*setting.get)(), !setting.fallback) << setting.key.toStdString();
        // The same value again is still written.
        settings->remove(setting.key);
        (c.*setting.set)(!setting.fallback);
        EXPECT_TRUE(settings->contains(setting.key)) << setting.key.toStdString();
    }
}

TEST_F(ControllerTest, BoolSettingsOfAnotherTypeTakeTheirDefault)
{
    for (const char* text : {"1", "0", "yes", "TRUE", "", "maybe"}) {
        for (const BoolSetting& setting : boolSettings())
            settings->setString(setting.key, QString::fromLatin1(text));
        const auto c = relaunch();
        for (const BoolSetting& setting : boolSettings())
            EXPECT_EQ((*c.*setting.get)(), setting.fallback) << setting.key.toStdString() << " = " << text;
    }
}

TEST_F(ControllerTest, ChoiceSettingsRoundTrip)
{
    Controller& c = controller();
    const auto roundTrip = [&](const auto& values, auto set, auto get) {
        for (const auto value : values) {
            (c.*set)(value);
            EXPECT_EQ((*relaunch().*get)(), value);
        }
    };
    roundTrip(std::vector{ZoomMode::manual, ZoomMode::off, ZoomMode::smart}, &Controller::setZoomMode, &Controller::zoomMode);
    roundTrip(StudioLook::screenLayouts, &Controller::setScreenLayout, &Controller::screenLayout);
    roundTrip(StudioLook::faceLayouts, &Controller::setFaceLayout, &Controller::faceLayout);
    roundTrip(StudioLook::backgrounds, &Controller::setStudioBackground, &Controller::studioBackground);
    roundTrip(LayoutModes::allCases, &Controller::setLayoutMode, &Controller::layoutMode);
}

TEST_F(ControllerTest, EveryClickIsStoredButComesBackAsSmart)
{
    controller().setZoomMode(ZoomMode::everyClick);
    EXPECT_EQ(settings->stringValue(Keys::zoomMode()), QStringLiteral("Every click"));
    EXPECT_EQ(controller().zoomMode(), ZoomMode::everyClick);
    EXPECT_EQ(relaunch()->zoomMode(), ZoomMode::smart);
}

TEST_F(ControllerTest, ChoiceReadRules)
{
    const struct {
        const char* key;
        const char* stored;
        std::function<bool(const Controller&)> holds;
    } cases[] = {
        {"zoomMode", "Manual", [](const Controller& c) { return c.zoomMode() == ZoomMode::manual; }},
        {"zoomMode", "Off", [](const Controller& c) { return c.zoomMode() == ZoomMode::off; }},
        {"zoomMode", "manual", [](const Controller& c) { return c.zoomMode() == ZoomMode::smart; }},
        {"zoomMode", "Every click", [](const Controller& c) { return c.zoomMode() == ZoomMode::smart; }},
        {"screenLayout", "Classic", [](const Controller& c) { return c.screenLayout() == ScreenLayout::classic; }},
        {"screenLayout", "classic", [](const Controller& c) { return c.screenLayout() == ScreenLayout::studio; }},
        {"screenLayout", "Classic ", [](const Controller& c) { return c.screenLayout() == ScreenLayout::studio; }},
        {"faceLayout", "Bottom-right", [](const Controller& c) { return c.faceLayout() == FaceLayout::bottomRight; }},
        {"faceLayout", "bottom-right", [](const Controller& c) { return c.faceLayout() == FaceLayout::tallLeft; }},
        {"faceLayout", "Bottom right", [](const Controller& c) { return c.faceLayout() == FaceLayout::tallLeft; }},
        {"layoutMode", "Fixed", [](const Controller& c) { return c.layoutMode() == LayoutMode::fixed; }},
        {"layoutMode", "fixed", [](const Controller& c) { return c.layoutMode() == LayoutMode::dynamic; }},
        {"studioBackground", "Dark room", [](const Controller& c) { return c.studioBackground() == StudioBackground::darkRoom; }},
        {"studioBackground", "Sunlit studio", [](const Controller& c) { return c.studioBackground() == StudioBackground::sunlitStudio; }},
        {"studioBackground", "dark room", [](const Controller& c) { return c.studioBackground() == StudioBackground::blushMesh; }},
        {"studioBackground", "Velvet", [](const Controller& c) { return c.studioBackground() == StudioBackground::blushMesh; }},
    };
    for (const auto& c : cases) {
        settings->setString(QString::fromLatin1(c.key), QString::fromLatin1(c.stored));
        EXPECT_TRUE(c.holds(*relaunch())) << c.key << " = " << c.stored;
        settings->remove(QString::fromLatin1(c.key));
    }
    // A list where a text is expected is another type.
    settings->setStringList(Keys::screenLayout(), {QStringLiteral("Classic"), QStringLiteral("Classic")});
    EXPECT_EQ(relaunch()->screenLayout(), ScreenLayout::studio);
}

TEST_F(ControllerTest, ShortCropIsClampedAndFallsBackForNonNumbers)
{
    const struct {
        const char* stored;
        double read;
    } cases[] = {{"1.7", 1.0}, {"-0.2", 0.0}, {"0.3", 0.3}, {"abc", 0.5}, {"nan", 0.5}, {"inf", 0.5}, {"", 0.5}, {"true", 0.5}};
    for (const auto& c : cases) {
        settings->setString(Keys::shortCropX(), QString::fromLatin1(c.stored));
        settings->setString(Keys::shortCropY(), QString::fromLatin1(c.stored));
        const auto position = relaunch()->shortPosition();
        EXPECT_DOUBLE_EQ(position.x, c.read) << c.stored;
        EXPECT_DOUBLE_EQ(position.y, c.read) << c.stored;
    }
}

TEST_F(ControllerTest, ShortPositionIsWrittenOnlyWhenItMoves)
{
    Controller& c = controller();
    c.setShortPosition({0.5, 0.5});
    EXPECT_FALSE(settings->contains(Keys::shortCropX()));
    c.setShortPosition({0.5, 0.7});
    EXPECT_EQ(settings->doubleValue(Keys::shortCropX()), 0.5);
    EXPECT_EQ(settings->doubleValue(Keys::shortCropY()), 0.7);
    EXPECT_EQ(relaunch()->shortPosition(), (Controller::ShortPosition{0.5, 0.7}));
}

TEST_F(ControllerTest, LookObserversReLayTheBubbleOnlyOnChange)
{
    Controller& c = controller();
    c.setScreenLayout(ScreenLayout::studio);
    c.setFaceLayout(FaceLayout::tallLeft);
    c.setStudioBackground(StudioBackground::blushMesh);
    EXPECT_TRUE(hooks.calls.isEmpty());
    EXPECT_EQ(settings->stringValue(Keys::screenLayout()), QStringLiteral("Studio")); // written anyway

    c.setScreenLayout(ScreenLayout::classic);
    EXPECT_EQ(hooks.calls, (QStringList{QStringLiteral("camera format"), QStringLiteral("bubble reanchor")}));
    hooks.calls.clear();
    c.setFaceLayout(FaceLayout::bottomRight);
    EXPECT_EQ(hooks.calls, QStringList{QStringLiteral("bubble reanchor")});

    const struct {
        StudioBackground to;
        const char* call;
    } backgrounds[] = {
        {StudioBackground::linen, "bubble"}, // light to light
        {StudioBackground::darkRoom, "bubble reanchor"},
        {StudioBackground::clay, "bubble reanchor"},
        {StudioBackground::dotPaper, "bubble"},
    };
    for (const auto& step : backgrounds) {
        hooks.calls.clear();
        c.setStudioBackground(step.to);
        EXPECT_EQ(hooks.calls, QStringList{QString::fromLatin1(step.call)}) << StudioLook::rawText(step.to).toStdString();
    }
}

TEST_F(ControllerTest, PanelObserversReact)
{
    Controller& c = controller();
    c.setCameraEnabled(true);
    c.setPhoneEnabled(true);
    c.setBubbleShape(BubbleShape::square);
    c.setBubbleSize(300);
    c.setMirrorCamera(false);
    c.setPhoneShowsFrame(false);
    c.setPhoneHeight(500);
    EXPECT_EQ(hooks.calls, (QStringList{QStringLiteral("camera enabled"), QStringLiteral("phone enabled"), QStringLiteral("bubble"),
                               QStringLiteral("bubble"), QStringLiteral("mirror 0"), QStringLiteral("phone frame 0"), QStringLiteral("phone layout")}));
    // Not persisted.
    EXPECT_EQ(relaunch()->bubbleSize(), 260);
}

TEST_F(ControllerTest, ShortMirrorFileAppliesOnlyInShortModeOutsideATake)
{
    Controller& c = controller();
    c.setShortMirrorFile(true);
    EXPECT_FALSE(hooks.calls.contains(QStringLiteral("short mirroring")));
    c.setCaptureMode(CaptureMode::short_);
    hooks.calls.clear();
    c.setShortMirrorFile(false);
    EXPECT_EQ(hooks.calls, QStringList{QStringLiteral("short mirroring")});
    hooks.calls.clear();
    c.setPhase(RecordingPhase::recording());
    c.setShortMirrorFile(true);
    EXPECT_TRUE(hooks.calls.isEmpty());
}

} // namespace
