#include "ControllerTestFixture.h"

#include "platform/system/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using Controller = RecordingController;
using Keys = RecordingController::Keys;

// Wild values a hand-edited or damaged settings file may hold: huge, negative, not a number, infinite,
// another kind and very long.
const QStringList& wildTexts()
{
    static const QStringList texts{QStringLiteral("1e308"), QStringLiteral("-1e308"), QStringLiteral("-5"), QStringLiteral("nan"),
        QStringLiteral("inf"), QStringLiteral("-inf"), QStringLiteral("{{0, 0}, {1e300, 1e300}}"), QString(100000, QLatin1Char('9')),
        QString(100000, QLatin1Char('x'))};
    return texts;
}

struct Row {
    QString key;
    // Holds when the controller read the wild text as its Part says an unreadable value reads.
    std::function<bool(const Controller&, const QString& stored)> readsAsDefault;
};

std::vector<Row> rows()
{
    const auto crop = [](double Controller::ShortPosition::*axis) {
        return [axis](const Controller& c, const QString& stored) {
            bool number = false;
            const double value = stored.toDouble(&number);
            const double wanted = number && std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.5;
            return c.shortPosition().*axis == wanted;
        };
    };
    std::vector<Row> table{
        {Keys::zoomMode(), [](const Controller& c, const QString&) { return c.zoomMode() == ZoomMode::smart; }},
        {Keys::screenLayout(), [](const Controller& c, const QString&) { return c.screenLayout() == ScreenLayout::studio; }},
        {Keys::faceLayout(), [](const Controller& c, const QString&) { return c.faceLayout() == FaceLayout::tallLeft; }},
        {Keys::studioBackground(), [](const Controller& c, const QString&) { return c.studioBackground() == StudioBackground::blushMesh; }},
        {Keys::layoutMode(), [](const Controller& c, const QString&) { return c.layoutMode() == LayoutMode::dynamic; }},
        {Keys::shortCropX(), crop(&Controller::ShortPosition::x)},
        {Keys::shortCropY(), crop(&Controller::ShortPosition::y)},
        {Keys::shortSafeZones(), [](const Controller& c, const QString&) { return c.shortSafeZones(); }},
        {Keys::shortFramingGuide(), [](const Controller& c, const QString&) { return c.shortFramingGuide(); }},
        {Keys::shortMirrorFile(), [](const Controller& c, const QString&) { return !c.shortMirrorFile(); }},
        {Keys::framingHintsOnBubble(), [](const Controller& c, const QString&) { return c.framingHintsOnBubble(); }},
        {Keys::cameraGrade(), [](const Controller& c, const QString&) { return !c.cameraGrade(); }},
        {Keys::frameFocusedWindow(), [](const Controller& c, const QString&) { return !c.frameFocusedWindow(); }},
        {Keys::export4K(), [](const Controller& c, const QString&) { return !c.export4K(); }},
        {Keys::clickHighlight(), [](const Controller& c, const QString&) { return !c.clickHighlight(); }},
        {Keys::ownCursor(), [](const Controller& c, const QString&) { return c.ownCursor(); }},
        {QStringLiteral("modeSetting.cameraQuality.Just me"), [](const Controller& c, const QString&) { return c.cameraQuality() == CameraQuality::best; }},
        {QStringLiteral("modeSetting.mic.Screen"), [](const Controller& c, const QString&) { return !c.selectedMicrophoneID(); }},
    };
    // Texts kept as they are: any text is a name to look for, a handoff token or a folder to try.
    for (const QString& key : {Keys::preferredMicName(), Keys::shortIgnoredNextTake(), Keys::shortAutoSwitchedHandoff(),
             Keys::longformIgnoredNextRecording(), Keys::longformHandledNextRecording(), QStringLiteral("projectsRoot"),
             QStringLiteral("publicSaveFolder.v1")})
        table.push_back({key, [](const Controller& c, const QString&) { return !c.destinationName().isEmpty(); }});
    return table;
}

TEST_F(ControllerTest, EveryStoredKeyReadsAWildValueAsItsDefaultAndTheStudioStarts)
{
    for (const Row& row : rows()) {
        const std::optional<QString> kept = settings->stringValue(row.key); // the sandbox's own folders
        for (const QString& text : wildTexts()) {
            const std::string what = row.key.toStdString() + " = " + text.left(24).toStdString();
            settings->setString(row.key, text);
            const auto relaunched = relaunch();
            EXPECT_TRUE(row.readsAsDefault(*relaunched, text)) << what;
        }
        // A list where one value belongs is another kind.
        settings->setStringList(row.key, {QStringLiteral("Classic"), QStringLiteral("1")});
        EXPECT_TRUE(row.readsAsDefault(*relaunch(), QStringLiteral("a list"))) << row.key.toStdString() << " = a list";
        if (kept)
            settings->setString(row.key, *kept);
        else
            settings->remove(row.key);
    }
}

} // namespace
