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

TEST_F(ControllerTest, EveryBoolSettingDefaultsRoundTripsAndReadsOnlyRealBools)
{
    Controller& c = controller();
    for (const BoolSetting& setting : boolSettings()) {
        SCOPED_TRACE(setting.key.toStdString());
        EXPECT_EQ((c.*setting.get)(), setting.fallback);
        (c.*setting.set)(!setting.fallback);
        EXPECT_EQ(settings->boolValue(setting.key), !setting.fallback);
        EXPECT_EQ((*relaunch().*setting.get)(), !setting.fallback);
        // The same value again is still written.
        settings->remove(setting.key);
        (c.*setting.set)(!setting.fallback);
        EXPECT_TRUE(settings->contains(setting.key));
        for (const char* text : {"1", "TRUE", "maybe"}) {
            settings->setString(setting.key, QString::fromLatin1(text));
            EXPECT_EQ((*relaunch().*setting.get)(), setting.fallback) << text;
        }
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

TEST_F(ControllerTest, ChoiceReadRules)
{
    const struct {
        const char* key;
        const char* stored;
        std::function<bool(const Controller&)> holds;
    } cases[] = {
        {"zoomMode", "Manual", [](const Controller& c) { return c.zoomMode() == ZoomMode::manual; }},
        {"zoomMode", "manual", [](const Controller& c) { return c.zoomMode() == ZoomMode::smart; }},
        {"zoomMode", "Every click", [](const Controller& c) { return c.zoomMode() == ZoomMode::smart; }},
        {"screenLayout", "Classic", [](const Controller& c) { return c.screenLayout() == ScreenLayout::classic; }},
        {"screenLayout", "classic", [](const Controller& c) { return c.screenLayout() == ScreenLayout::studio; }},
        {"faceLayout", "Bottom-right", [](const Controller& c) { return c.faceLayout() == FaceLayout::bottomRight; }},
        {"faceLayout", "bottom-right", [](const Controller& c) { return c.faceLayout() == FaceLayout::tallLeft; }},
        {"layoutMode", "fixed", [](const Controller& c) { return c.layoutMode() == LayoutMode::dynamic; }},
        {"studioBackground", "Dark room", [](const Controller& c) { return c.studioBackground() == StudioBackground::darkRoom; }},
        {"studioBackground", "dark room", [](const Controller& c) { return c.studioBackground() == StudioBackground::blushMesh; }},
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
    } cases[] = {{"1.7", 1.0}, {"-0.2", 0.0}, {"0.3", 0.3}, {"nan", 0.5}, {"true", 0.5}};
    for (const auto& c : cases) {
        settings->setString(Keys::shortCropX(), QString::fromLatin1(c.stored));
        settings->setString(Keys::shortCropY(), QString::fromLatin1(c.stored));
        const auto position = relaunch()->shortPosition();
        EXPECT_DOUBLE_EQ(position.x, c.read) << c.stored;
        EXPECT_DOUBLE_EQ(position.y, c.read) << c.stored;
    }
}

} // namespace
