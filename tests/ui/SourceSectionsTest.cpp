#include "WindowTest.h"

#include "ui/CameraSection.h"
#include "ui/LabelledSlider.h"

#include <QCheckBox>
#include <QSlider>

namespace {

using SourceSectionsTest = WindowTest;

TEST_F(SourceSectionsTest, aRedrawNeverWritesASettingBack)
{
    controller->setDisplays({{1, 1920, 1080, QStringLiteral("Screen")}});
    controller->setSelectedDisplayID(1);
    controller->setMicrophones({device("a", "A", 1), device("b", "B", 2)});
    controller->setSelectedMicrophoneID(QStringLiteral("a"));
    controller->setCameras({device("cam", "Camera")});
    controller->setCameraEnabled(true);
    controller->phone().setPhoneEnabled(true);
    controller->phone().setPhones({device("phone", "iPhone")});
    controller->setBubbleSize(299.6);
    controller->phone().setPhoneHeight(1000); // beyond the slider's range: the handle stops at the end, the value stays
    settle();
    int changes = 0;
    QObject::connect(controller.get(), &RecordingController::changed, [&changes] { ++changes; });
    view->sync();
    controller->setQuality(ScreenQuality::p1080); // one real change, redrawn once
    settle();
    EXPECT_EQ(changes, 1);
    EXPECT_DOUBLE_EQ(controller->bubbleSize(), 299.6);
    EXPECT_DOUBLE_EQ(controller->phone().phoneHeight(), 1000);
    EXPECT_EQ(find<LabelledSlider>(QStringLiteral("bubbleSizeSlider"))->valueText(), QStringLiteral("300px"));
    EXPECT_EQ(find<LabelledSlider>(QStringLiteral("phoneHeightSlider"))->valueText(), QStringLiteral("1000px"));
    EXPECT_EQ(find<LabelledSlider>(QStringLiteral("phoneHeightSlider"))->slider()->value(), 1000);
}

TEST_F(SourceSectionsTest, checkFramingHelpNamesTheDynamicLayoutsOnlyWhereTheCardMoves)
{
    struct Case {
        LayoutMode layout;
        StudioBackground background;
        bool namesDynamicLayouts;
    };
    controller->setScreenLayout(ScreenLayout::studio);
    for (const Case& c : {Case{LayoutMode::dynamic, StudioBackground::linen, true}, Case{LayoutMode::fixed, StudioBackground::linen, false},
             Case{LayoutMode::dynamic, StudioBackground::darkRoom, false}}) {
        controller->setLayoutMode(c.layout);
        controller->setStudioBackground(c.background);
        settle();
        const QString help = CameraSection::framingHelp(*controller);
        EXPECT_EQ(help.contains(QStringLiteral("(Studio, all Dynamic layouts)")), c.namesDynamicLayouts) << help.toStdString();
        EXPECT_EQ(find(QStringLiteral("checkFramingRow"))->toolTip(), help);
    }
}

TEST_F(SourceSectionsTest, phoneSectionWaitsForAPhoneThenOffersItsControls)
{
    find<QCheckBox>(QStringLiteral("phoneToggle"))->click();
    settle();
    EXPECT_TRUE(shows(QStringLiteral("phoneWaitingRow")));
    EXPECT_FALSE(shows(QStringLiteral("phoneControls")));
    EXPECT_EQ(text(QStringLiteral("phoneWaitingText")), QStringLiteral("Waiting for your iPhone. Start its screen mirror (scrcpy or a phone webcam app) so it shows up as a "
                                                                      "video device whose name contains \"iPhone\", \"phone\" or \"scrcpy\"."));
    setPhase(RecordingPhase::paused());
    EXPECT_EQ(text(QStringLiteral("phoneWaitingText")), QStringLiteral("Waiting for your iPhone — start its screen mirror and it joins this recording."));

    controller->phone().setPhones({device("p1", "iPhone 15")});
    settle();
    EXPECT_FALSE(shows(QStringLiteral("phoneWaitingRow")));
    EXPECT_TRUE(shows(QStringLiteral("phoneControls")));
    // The list empties again: back to waiting.
    controller->phone().setPhones({});
    settle();
    EXPECT_TRUE(shows(QStringLiteral("phoneWaitingRow")));
}

} // namespace
