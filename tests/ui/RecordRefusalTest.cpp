#include "WindowTest.h"

#include "core/StartRefusal.h"
#include "ui/IconLabel.h"

namespace {

TEST(StartRefusalTest, devicesFirstThenTheModeItself)
{
    using Situation = StartRefusal::Situation;
    const QString noCamera = QStringLiteral("No camera found. Connect a camera, then press Record again.");
    const QString noMicrophone = QStringLiteral("No microphone found. Connect a microphone, then press Record again.");
    struct Case {
        Situation situation;
        std::optional<QString> reason;
    };
    const std::vector<Case> cases{
        {{CaptureMode::screen, true, false, false}, std::nullopt}, // the screen take decides about its own sources
        {{CaptureMode::cameraOnly, true, true, true}, std::nullopt},
        {{CaptureMode::cameraOnly, true, false, true}, noCamera},
        {{CaptureMode::short_, true, false, false}, noCamera},
        {{CaptureMode::short_, true, true, false}, noMicrophone},
        {{CaptureMode::voice, true, false, false}, noMicrophone},
        {{CaptureMode::voice, true, false, true}, std::nullopt}, // no camera needed
        {{CaptureMode::voice, false, false, true}, QStringLiteral("\"Voice only\" cannot record in this version. Switch to Screen to record.")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StartRefusal::reason(c.situation), c.reason) << CaptureModes::rawText(c.situation.mode).toStdString();
}

class RecordRefusalTest : public WindowTest { };

TEST_F(RecordRefusalTest, recordWithoutACameraSaysWhyInTheFooterAndTheLog)
{
    controller->setCaptureMode(CaptureMode::cameraOnly);
    controller->setCameras({});
    controller->setMicrophones({device(QStringLiteral("mic"), QStringLiteral("Desk mic"))});
    view->actions() = WindowActions::forController(*controller, view.get());
    click(QStringLiteral("recordButton"));
    const QString sentence = QStringLiteral("No camera found. Connect a camera, then press Record again.");
    ASSERT_EQ(controller->phase(), RecordingPhase::failed(sentence));
    EXPECT_EQ(find<IconLabel>(QStringLiteral("failureMessage"))->text(), sentence);
    EXPECT_TRUE(shows(QStringLiteral("failureMessage")));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return readLog().contains(QStringLiteral("start refused: ") + sentence); }, 3000));
}

} // namespace
