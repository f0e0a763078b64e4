#include "WindowTest.h"

#include "ui/IconLabel.h"

namespace {

class RecordRefusalTest : public WindowTest { };

TEST_F(RecordRefusalTest, recordWithoutACameraSaysWhyInTheFooterWithoutALogLine)
{
    controller->setCaptureMode(CaptureMode::cameraOnly);
    controller->setCameras({});
    controller->setMicrophones({device(QStringLiteral("mic"), QStringLiteral("Desk mic"))});
    view->actions() = WindowActions::forController(*controller, view.get());
    click(QStringLiteral("recordButton"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->phase().kind() == RecordingPhase::Kind::failed; }, 3000));
    const QString sentence = controller->phase().payload();
    EXPECT_TRUE(sentence.startsWith(QStringLiteral("No camera found."))) << sentence.toStdString();
    settle();
    EXPECT_EQ(find<IconLabel>(QStringLiteral("failureMessage"))->text(), sentence);
    EXPECT_TRUE(shows(QStringLiteral("failureMessage")));
    // Missing hardware is said where the user looks; the log keeps failures.
    EXPECT_FALSE(readLog().contains(sentence));
}

} // namespace
