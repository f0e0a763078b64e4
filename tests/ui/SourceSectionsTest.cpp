#include "WindowTest.h"

#include "ui/CameraAudioControls.h"
#include "ui/CameraSection.h"
#include "ui/LabelledSlider.h"
#include "ui/SegmentedControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QToolButton>

namespace {

class SourceSectionsTest : public WindowTest {
protected:
    QComboBox* popup(const QString& pickerName) const { return find(pickerName)->findChild<QComboBox*>(); }
    static void choose(QComboBox* box, int index)
    {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
        settle();
    }
};

TEST_F(SourceSectionsTest, screenSectionBindsDisplayQualityAndSound)
{
    // Without displays the picker is empty and the rest still works.
    EXPECT_EQ(popup(QStringLiteral("displayPicker"))->count(), 0);

    controller->setDisplays({{7, 2560, 1440, QStringLiteral("DP-1")}, {9, 1920, 1080, QString()}});
    settle();
    QComboBox* displays = popup(QStringLiteral("displayPicker"));
    ASSERT_EQ(displays->count(), 2);
    EXPECT_EQ(displays->itemText(0), QStringLiteral("DP-1 — 2560×1440"));
    EXPECT_EQ(displays->itemText(1), QStringLiteral("Display 9 — 1920×1080"));
    EXPECT_EQ(displays->currentIndex(), -1);
    choose(displays, 1);
    EXPECT_EQ(controller->selectedDisplayID(), std::optional<quint32>(9));

    auto* quality = find<SegmentedControl>(QStringLiteral("screenQualityPicker"));
    EXPECT_EQ(quality->segments(), QStringList({"1080p", "1440p", "Native"}));
    EXPECT_EQ(quality->currentIndex(), 2);
    quality->segment(1)->click();
    settle();
    EXPECT_EQ(controller->quality(), ScreenQuality::p1440);

    // The microphone switch hides its picker at once; system audio is its own switch.
    EXPECT_TRUE(shows(QStringLiteral("microphonePicker")));
    find<QCheckBox>(QStringLiteral("microphoneToggle"))->click();
    settle();
    EXPECT_FALSE(controller->captureMicrophone());
    EXPECT_FALSE(shows(QStringLiteral("microphonePicker")));
    find<QCheckBox>(QStringLiteral("systemAudioToggle"))->click();
    settle();
    EXPECT_FALSE(controller->captureSystemAudio());
    EXPECT_FALSE(controller->captureMicrophone());
}

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

TEST_F(SourceSectionsTest, cameraSectionFollowsTheSwitchAndTheLook)
{
    EXPECT_TRUE(shows(QStringLiteral("cameraToggle")));
    EXPECT_FALSE(shows(QStringLiteral("cameraControls")));
    EXPECT_TRUE(shows(QStringLiteral("checkFramingRow")));
    EXPECT_EQ(text(QStringLiteral("checkFramingNote")), QStringLiteral("Turns the camera on."));

    find<QCheckBox>(QStringLiteral("cameraToggle"))->click();
    settle();
    EXPECT_TRUE(controller->cameraEnabled());
    EXPECT_TRUE(shows(QStringLiteral("cameraControls")));
    EXPECT_EQ(text(QStringLiteral("checkFramingNote")), QString());

    // Studio look (the default): no shape choice, the face card named in lower case.
    EXPECT_FALSE(shows(QStringLiteral("bubbleShapeRow")));
    EXPECT_TRUE(text(QStringLiteral("cameraExplanation")).contains(QStringLiteral("face card in the final video (tall left, set under Motion).")));
    controller->setFaceLayout(FaceLayout::bottomRight);
    settle();
    EXPECT_TRUE(text(QStringLiteral("cameraExplanation")).contains(QStringLiteral("(bottom-right, set under Motion)")));

    // Classic: the shape picker and the drag explanation.
    controller->setScreenLayout(ScreenLayout::classic);
    settle();
    EXPECT_TRUE(shows(QStringLiteral("bubbleShapeRow")));
    EXPECT_TRUE(text(QStringLiteral("cameraExplanation")).startsWith(QStringLiteral("Drag the bubble anywhere.")));
    auto* shape = find(QStringLiteral("bubbleShapeRow"))->findChild<SegmentedControl*>();
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->segments(), QStringList({"Circle", "Rounded"}));
    shape->segment(1)->click();
    settle();
    EXPECT_EQ(controller->bubbleShape(), BubbleShape::square);

    // The size slider writes the bubble's size; the value prints whole pixels.
    auto* size = find<LabelledSlider>(QStringLiteral("bubbleSizeSlider"));
    size->slider()->setValue(0);
    settle();
    EXPECT_DOUBLE_EQ(controller->bubbleSize(), 140);
    EXPECT_EQ(size->valueText(), QStringLiteral("140px"));
    size->slider()->setValue(1000);
    EXPECT_DOUBLE_EQ(controller->bubbleSize(), 460);

    find<QCheckBox>(QStringLiteral("mirrorToggle"))->click();
    find<QCheckBox>(QStringLiteral("framingTipsToggle"))->click();
    settle();
    EXPECT_FALSE(controller->mirrorCamera());
    EXPECT_FALSE(controller->framingHintsOnBubble());
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
    EXPECT_TRUE(shows(QStringLiteral("phoneToggle")));
    EXPECT_FALSE(shows(QStringLiteral("phoneWaitingRow")));
    EXPECT_FALSE(shows(QStringLiteral("phoneNote")));

    find<QCheckBox>(QStringLiteral("phoneToggle"))->click();
    settle();
    EXPECT_TRUE(controller->phoneEnabled());
    EXPECT_TRUE(shows(QStringLiteral("phoneWaitingRow")));
    EXPECT_FALSE(shows(QStringLiteral("phoneControls")));
    EXPECT_TRUE(shows(QStringLiteral("phoneNote")));
    EXPECT_EQ(text(QStringLiteral("phoneWaitingText")), QStringLiteral("Waiting for your iPhone. Connect it with a cable, unlock it, tap Trust."));
    for (RecordingPhase phase : {RecordingPhase::recording(), RecordingPhase::paused()}) {
        setPhase(phase);
        EXPECT_EQ(text(QStringLiteral("phoneWaitingText")), QStringLiteral("Waiting for your iPhone — plug it in and it joins this recording."));
    }
    setPhase(RecordingPhase::finishing());
    EXPECT_EQ(text(QStringLiteral("phoneWaitingText")), QStringLiteral("Waiting for your iPhone. Connect it with a cable, unlock it, tap Trust."));

    controller->setPhones({device("p1", "iPhone 15"), device("p2", "scrcpy")});
    settle();
    EXPECT_FALSE(shows(QStringLiteral("phoneWaitingRow")));
    EXPECT_TRUE(shows(QStringLiteral("phoneControls")));
    choose(popup(QStringLiteral("phonePicker")), 1);
    EXPECT_EQ(controller->selectedPhoneID(), std::optional<QString>(QStringLiteral("p2")));
    find<LabelledSlider>(QStringLiteral("phoneHeightSlider"))->slider()->setValue(0);
    EXPECT_DOUBLE_EQ(controller->phoneHeight(), 260);
    find<QCheckBox>(QStringLiteral("phoneFrameToggle"))->click();
    EXPECT_FALSE(controller->phoneShowsFrame());

    // The list empties again: back to waiting.
    controller->setPhones({});
    settle();
    EXPECT_TRUE(shows(QStringLiteral("phoneWaitingRow")));
}

TEST_F(SourceSectionsTest, cameraAudioControlsOfferOnlyRealQualitiesAndNoSystemAudio)
{
    CameraAudioControls controls(*controller);
    auto* picker = controls.findChild<QWidget*>(QStringLiteral("cameraQualityPicker"));
    auto* fixed = controls.findChild<QWidget*>(QStringLiteral("cameraQualityFixed"));
    // No camera: only "Best" is possible.
    EXPECT_FALSE(picker->isVisibleTo(&controls));
    EXPECT_TRUE(fixed->isVisibleTo(&controls));

    CaptureDeviceInfo camera = device("cam", "Camera");
    for (int height : {1440, 1080, 720})
        camera.formats.push_back({height * 4 / 3, height, {{1, 30}}}); // 4:3, so 1440 lines fit in 1920
    controller->setCameras({camera});
    controller->setSelectedCameraID(QStringLiteral("cam"));
    controls.sync();
    EXPECT_TRUE(picker->isVisibleTo(&controls));
    auto* segments = picker->findChild<SegmentedControl*>();
    EXPECT_EQ(segments->segments(), QStringList({"Best", "1080p", "720p"}));
    segments->segment(2)->click();
    EXPECT_EQ(controller->cameraQuality(), CameraQuality::p720);

    auto* systemAudio = controls.findChild<QCheckBox*>(QStringLiteral("cameraOnlySystemAudio"));
    EXPECT_FALSE(systemAudio->isEnabled());
    systemAudio->click();
    EXPECT_FALSE(systemAudio->isChecked());
}

} // namespace
