#include "WindowTest.h"

#include "ui/CameraAudioControls.h"
#include "ui/CameraOnlySection.h"
#include "ui/CameraSection.h"
#include "ui/ElidedLabel.h"
#include "ui/ShortSection.h"
#include "ui/SegmentedControl.h"
#include "ui/VoiceOnlySection.h"

#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>

namespace {

class CameraOnlySectionsTest : public WindowTest {
protected:
    template <typename Section>
    Section* section() const
    {
        return view->findChild<Section*>();
    }
    template <typename T = QWidget>
    T* in(QWidget* section, const QString& name) const
    {
        return section->findChild<T*>(name);
    }
    std::optional<NextTake> handoff;
    bool previewShown = false;
    QStringList previewCalls;

    void SetUp() override
    {
        WindowTest::SetUp();
        WindowActions& actions = view->actions();
        actions.nextTake = [this] { return handoff; };
        actions.ignoreNextTake = [this] {
            handoff.reset();
            previewCalls << QStringLiteral("ignore");
            controller->changed();
        };
        actions.shortPreviewShown = [this] { return previewShown; };
        actions.openShortPreview = [this] { previewCalls << QStringLiteral("open"); };
        actions.closeShortPreview = [this] { previewCalls << QStringLiteral("close"); };
    }
};

const std::vector<RecordingPhase> allPhases{RecordingPhase::idle(), RecordingPhase::countingDown(), RecordingPhase::preparing(),
    RecordingPhase::recording(), RecordingPhase::paused(), RecordingPhase::finishing(), RecordingPhase::finished(QStringLiteral("/f.mov")),
    RecordingPhase::failed(QStringLiteral("x"))};

TEST_F(CameraOnlySectionsTest, eachSectionLocksWhatATakeMustKeepByPhase)
{
    controller->setLastShortURL(path("short.mov"));
    for (const RecordingPhase& phase : allPhases) {
        const bool busy = phase.isBusy();
        const bool filming = phase.kind() == RecordingPhase::Kind::recording || phase.kind() == RecordingPhase::Kind::paused;
        const int kind = static_cast<int>(phase.kind());

        // The mode stands while a take is under way: the next section is shown between takes.
        setPhase(RecordingPhase::idle());
        controller->setCaptureMode(CaptureMode::cameraOnly);
        setPhase(phase);
        EXPECT_EQ(section<CameraOnlySection>()->isEnabled(), !busy) << kind;

        setPhase(RecordingPhase::idle());
        controller->setCaptureMode(CaptureMode::short_);
        setPhase(phase);
        auto* shortSection = section<ShortSection>();
        EXPECT_TRUE(shortSection->isEnabled());
        for (const char* locked : {"shortCameraPicker", "cameraAudioControls", "mirrorPreviewToggle", "mirrorFileToggle"})
            EXPECT_EQ(in(shortSection, QString::fromLatin1(locked))->isEnabled(), !busy) << locked << " " << kind;
        EXPECT_TRUE(in(shortSection, QStringLiteral("frameButton"))->isEnabled()) << kind;
        EXPECT_EQ(in(shortSection, QStringLiteral("lastTakeButton"))->isEnabled(), !filming) << kind;
        EXPECT_EQ(text(QStringLiteral("shortLockNote")), ShortSection::lowerNote(busy)) << kind;

        setPhase(RecordingPhase::idle());
        controller->setCaptureMode(CaptureMode::voice);
        setPhase(phase);
        EXPECT_TRUE(section<VoiceOnlySection>()->isEnabled()) << kind;
    }
}

TEST_F(CameraOnlySectionsTest, theTwoMirrorTogglesAreOneSetting)
{
    controller->setCaptureMode(CaptureMode::short_);
    settle();
    auto* preview = in<QCheckBox>(section<ShortSection>(), QStringLiteral("mirrorPreviewToggle"));
    auto* me = in<QCheckBox>(section<CameraOnlySection>(), QStringLiteral("mirrorMeToggle"));
    const bool before = controller->mirrorCamera();
    EXPECT_EQ(preview->isChecked(), before);
    preview->click();
    settle();
    EXPECT_EQ(controller->mirrorCamera(), !before);
    controller->setCaptureMode(CaptureMode::cameraOnly);
    settle();
    EXPECT_EQ(me->isChecked(), !before);
    me->click();
    controller->setCaptureMode(CaptureMode::short_);
    settle();
    EXPECT_EQ(controller->mirrorCamera(), before);
    EXPECT_EQ(preview->isChecked(), before);
    EXPECT_FALSE(controller->shortMirrorFile()) << "the file's mirror is its own setting";
}

TEST_F(CameraOnlySectionsTest, theFrameButtonFollowsTheShortWindowAndTheScriptCardTheHandoff)
{
    controller->setCaptureMode(CaptureMode::short_);
    settle();
    auto* shortSection = section<ShortSection>();
    auto* frame = in<QPushButton>(shortSection, QStringLiteral("frameButton"));
    EXPECT_EQ(frame->text(), QStringLiteral("Show frame"));
    frame->click();
    previewShown = true;
    controller->changed();
    settle();
    EXPECT_EQ(frame->text(), QStringLiteral("Hide frame"));
    setPhase(RecordingPhase::recording());
    EXPECT_EQ(frame->text(), QStringLiteral("Hide frame")) << "also during a take";
    frame->click();
    EXPECT_EQ(previewCalls, QStringList({"open", "close"}));
    setPhase(RecordingPhase::idle());

    EXPECT_FALSE(in(shortSection, QStringLiteral("scriptCard"))->isVisibleTo(shortSection));
    handoff = NextTake{};
    handoff->scriptID = QStringLiteral("S-204");
    handoff->title = QStringLiteral("Why tabs win");
    controller->changed();
    settle();
    EXPECT_TRUE(in(shortSection, QStringLiteral("scriptCard"))->isVisibleTo(shortSection));
    EXPECT_EQ(in<ElidedLabel>(shortSection, QStringLiteral("scriptText"))->text(), QStringLiteral("Script: S-204 · Why tabs win"));
    EXPECT_EQ(ShortSection::scriptText(QStringLiteral("S-204"), QString()), QStringLiteral("Script: S-204"));
    in<QPushButton>(shortSection, QStringLiteral("notThisOneButton"))->click();
    settle();
    EXPECT_FALSE(in(shortSection, QStringLiteral("scriptCard"))->isVisibleTo(shortSection));
    EXPECT_EQ(previewCalls.last(), QStringLiteral("ignore"));
    EXPECT_EQ(text(QStringLiteral("shortFramingText")), QStringLiteral("Waiting for the camera…"));
}

TEST_F(CameraOnlySectionsTest, cameraAudioControlsOfferOnlyRealQualitiesAndNoSystemAudio)
{
    CameraAudioControls controls(*controller);
    auto* picker = controls.findChild<QWidget*>(QStringLiteral("cameraQualityPicker"));
    auto* fixed = controls.findChild<QWidget*>(QStringLiteral("cameraQualityFixed"));
    // No camera formats: only "Best" is possible.
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

TEST_F(CameraOnlySectionsTest, theFourCheckFramingTooltips)
{
    struct Case {
        CaptureMode mode;
        ScreenLayout look;
        LayoutMode layout;
        StudioBackground background;
        const char* help;
    };
    const std::vector<Case> cases{
        {CaptureMode::screen, ScreenLayout::classic, LayoutMode::dynamic, StudioBackground::linen,
            "A big live preview of your bubble, with guides and tips."},
        {CaptureMode::screen, ScreenLayout::studio, LayoutMode::dynamic, StudioBackground::linen,
            "A big live preview of every card you'll appear in (Studio, all Dynamic layouts), with guides and tips."},
        {CaptureMode::screen, ScreenLayout::studio, LayoutMode::fixed, StudioBackground::linen,
            "A big live preview of every card you'll appear in (Studio), with guides and tips."},
        {CaptureMode::screen, ScreenLayout::studio, LayoutMode::dynamic, StudioBackground::darkRoom,
            "A big live preview of every card you'll appear in (Studio), with guides and tips."},
        {CaptureMode::cameraOnly, ScreenLayout::studio, LayoutMode::dynamic, StudioBackground::linen,
            "A big live preview of exactly what gets recorded, with guides and tips — see if you're too close, too far, too high or badly "
            "lit before you record."},
    };
    controller->setCameraEnabled(true);
    for (const Case& c : cases) {
        controller->setCaptureMode(c.mode);
        controller->setScreenLayout(c.look);
        controller->setLayoutMode(c.layout);
        controller->setStudioBackground(c.background);
        settle();
        EXPECT_EQ(find(QStringLiteral("checkFramingRow"))->toolTip(), QString::fromUtf8(c.help)) << c.help;
    }
}

} // namespace

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace {

class ScriptCardTest : public WindowTest { };

TEST_F(ScriptCardTest, aHandedOffScriptShowsOnTheCardUntilNotThisOne)
{
    const QString shorts = path(QStringLiteral("Recordings/Shorts"));
    QDir().mkpath(shorts);
    QFile file(shorts + QStringLiteral("/.next_take.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"({"script_id":"ep 7","title":"Tabs","written_at":"%1"})")
                   .arg(QDateTime::currentDateTimeUtc().addSecs(-60).toString(Qt::ISODate))
                   .toUtf8());
    file.close();
    const int before = controller->handoffs().handoffPollsCompleted();
    controller->handoffs().refreshNextTake();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->handoffs().handoffPollsCompleted() > before; }, 5000));
    controller->setCaptureMode(CaptureMode::short_);
    settle();
    auto* section = view->findChild<ShortSection*>();
    ASSERT_TRUE(section->findChild<QWidget*>(QStringLiteral("scriptCard"))->isVisibleTo(section));
    EXPECT_EQ(section->findChild<ElidedLabel*>(QStringLiteral("scriptText"))->text(), QStringLiteral("Script: ep 7 · Tabs"));
    section->findChild<QPushButton*>(QStringLiteral("notThisOneButton"))->click();
    settle();
    EXPECT_FALSE(controller->handoffs().channelNextTake());
    EXPECT_FALSE(section->findChild<QWidget*>(QStringLiteral("scriptCard"))->isVisibleTo(section));
}

} // namespace
