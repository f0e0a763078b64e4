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
    controller->setPhoneEnabled(true);
    controller->setPhones({device("phone", "iPhone")});
    controller->setBubbleSize(299.6);
    controller->setPhoneHeight(1000); // beyond the slider's range: the handle stops at the end, the value stays
    settle();
    int changes = 0;
    QObject::connect(controller.get(), &RecordingController::changed, [&changes] { ++changes; });
    view->sync();
    controller->setQuality(ScreenQuality::p1080); // one real change, redrawn once
    settle();
    EXPECT_EQ(changes, 1);
    EXPECT_DOUBLE_EQ(controller->bubbleSize(), 299.6);
    EXPECT_DOUBLE_EQ(controller->phoneHeight(), 1000);
    EXPECT_EQ(find<LabelledSlider>(QStringLiteral("bubbleSizeSlider"))->valueText(), QStringLiteral("300px"));
    EXPECT_EQ(find<LabelledSlider>(QStringLiteral("phoneHeightSlider"))->valueText(), QStringLiteral("1000px"));
    EXPECT_EQ(find<LabelledSlider>(QStringLiteral("phoneHeightSlider"))->slider()->value(), 1000);
}

TEST_F(SourceSectionsTest, checkFramingHelpNamesTheCardsItPreviews)
{
    struct Case {
        ScreenLayout look;
        LayoutMode layout;
        StudioBackground background;
        const char* help;
    };
    const std::vector<Case> cases{
        {ScreenLayout::classic, LayoutMode::dynamic, StudioBackground::linen, "A big live preview of your bubble, with guides and tips."},
        {ScreenLayout::studio, LayoutMode::dynamic, StudioBackground::linen,
            "A big live preview of every card you'll appear in (Studio, all Dynamic layouts), with guides and tips."},
        {ScreenLayout::studio, LayoutMode::fixed, StudioBackground::linen, "A big live preview of every card you'll appear in (Studio), with guides and tips."},
        {ScreenLayout::studio, LayoutMode::dynamic, StudioBackground::darkRoom,
            "A big live preview of every card you'll appear in (Studio), with guides and tips."},
    };
    for (const Case& c : cases) {
        controller->setScreenLayout(c.look);
        controller->setLayoutMode(c.layout);
        controller->setStudioBackground(c.background);
        settle();
        EXPECT_EQ(CameraSection::framingHelp(*controller), QString::fromUtf8(c.help));
        EXPECT_EQ(find(QStringLiteral("checkFramingRow"))->toolTip(), QString::fromUtf8(c.help));
    }
}

TEST_F(SourceSectionsTest, phoneSectionWaitsForAPhoneThenOffersItsControls)
{
    find<QCheckBox>(QStringLiteral("phoneToggle"))->click();
    settle();
    EXPECT_TRUE(shows(QStringLiteral("phoneWaitingRow")));
    EXPECT_FALSE(shows(QStringLiteral("phoneControls")));
    EXPECT_EQ(text(QStringLiteral("phoneWaitingText")), QStringLiteral("Waiting for your iPhone. Connect it with a cable, unlock it, tap Trust."));
    setPhase(RecordingPhase::paused());
    EXPECT_EQ(text(QStringLiteral("phoneWaitingText")), QStringLiteral("Waiting for your iPhone — plug it in and it joins this recording."));

    controller->setPhones({device("p1", "iPhone 15")});
    settle();
    EXPECT_FALSE(shows(QStringLiteral("phoneWaitingRow")));
    EXPECT_TRUE(shows(QStringLiteral("phoneControls")));
    // The list empties again: back to waiting.
    controller->setPhones({});
    settle();
    EXPECT_TRUE(shows(QStringLiteral("phoneWaitingRow")));
}

} // namespace
