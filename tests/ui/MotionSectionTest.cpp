#include "WindowTest.h"

#include "ui/LabelledSlider.h"
#include "ui/MotionSection.h"
#include "ui/PickerRow.h"
#include "ui/RemoteSection.h"
#include "ui/SegmentedControl.h"
#include "ui/SegmentedRow.h"
#include "ui/StudioLayoutPreview.h"

#include <QApplication>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>

namespace {

class MotionSectionTest : public WindowTest {
protected:
    MotionSection* section() const { return view->findChild<MotionSection*>(); }
    bool showsInSection(const QString& name) const
    {
        QWidget* widget = section()->findChild<QWidget*>(name);
        return widget && widget->isVisibleTo(section());
    }
};

TEST_F(MotionSectionTest, layoutHelpPutsTheFixedRuleFirst)
{
    struct Case {
        LayoutMode mode;
        StudioBackground background;
        const char* text;
    };
    const QString dynamic = QStringLiteral("Opens and closes on you, goes side by side or face-only while you talk with nothing happening on "
                                           "screen, and gives the screen more room during a long zoom. Decided at export; it never moves more "
                                           "than every ~7s.");
    const std::vector<Case> cases{
        {LayoutMode::fixed, StudioBackground::darkRoom, "The face card stays in its slot for the whole take."},
        {LayoutMode::fixed, StudioBackground::linen, "The face card stays in its slot for the whole take."},
        {LayoutMode::dynamic, StudioBackground::darkRoom, "Dark room always uses the fixed layout."},
        {LayoutMode::dynamic, StudioBackground::silkWaves, nullptr},
    };
    for (const Case& c : cases) {
        controller->setLayoutMode(c.mode);
        controller->setStudioBackground(c.background);
        settle();
        const QString expected = c.text ? QString::fromUtf8(c.text) : dynamic;
        EXPECT_EQ(MotionSection::layoutHelp(*controller), expected);
        EXPECT_EQ(text(QStringLiteral("layoutHelp")), expected);
    }
    // Dark room keeps showing the chosen layout mode.
    EXPECT_EQ(section()->findChild<SegmentedRow*>(QStringLiteral("layoutRow"))->control()->currentIndex(), 0);
}

TEST_F(MotionSectionTest, zoomAndClicksHintsNameTheRealKeys)
{
    controller->setZoomMode(ZoomMode::smart);
    EXPECT_EQ(MotionSection::zoomHint(*controller),
        QStringLiteral("Super+Alt+Z zoom here   Super+Alt+X zoom out  ·  Smart only zooms on sustained work in one small spot or typing; "
                       "your marks always win."));
    controller->setZoomMode(ZoomMode::manual);
    EXPECT_EQ(MotionSection::zoomHint(*controller), QStringLiteral("Super+Alt+Z zoom here   Super+Alt+X zoom out  ·  Only your marks zoom."));
    const QString first = QStringLiteral("Clicks are saved as data, not burned in — zoom and highlights can be retimed or removed in the edit.");
    controller->setOwnCursor(false);
    EXPECT_EQ(MotionSection::clicksHint(*controller), first);
    controller->setOwnCursor(true);
    EXPECT_EQ(MotionSection::clicksHint(*controller),
        first + QStringLiteral(" With our cursor on, your cursor is left out of the recording and drawn back at export — on screen it "
                               "stays exactly as normal."));
}

TEST_F(MotionSectionTest, classicAndZoomOffHideWhatDoesNotApply)
{
    settle();
    EXPECT_EQ(section()->findChild<LabelledSlider*>(QStringLiteral("maxZoomSlider"))->valueText(), QStringLiteral("1.90×"));
    EXPECT_EQ(section()->findChild<SegmentedRow*>(QStringLiteral("countdownRow"))->control()->segments(), QStringList({"Off", "3s", "5s"}));
    EXPECT_EQ(section()->findChild<SegmentedRow*>(QStringLiteral("countdownRow"))->control()->currentIndex(), 1);
    EXPECT_EQ(section()->findChild<SegmentedRow*>(QStringLiteral("zoomRow"))->control()->segments(), QStringList({"Smart", "Manual", "Off"}));
    EXPECT_TRUE(showsInSection(QStringLiteral("studioLayoutPreview")));

    // Classic: the title, Look, Zoom with its slider and hint, the two toggles, Countdown and the clicks hint.
    section()->findChild<SegmentedRow*>(QStringLiteral("lookRow"))->control()->segment(1)->click();
    settle();
    EXPECT_EQ(controller->screenLayout(), ScreenLayout::classic);
    for (const char* hidden : {"faceCardRow", "backgroundPicker", "layoutRow", "layoutHelp", "studioLayoutPreview", "gradeToggle",
             "focusedWindowToggle", "export4KToggle"})
        EXPECT_FALSE(showsInSection(QString::fromLatin1(hidden))) << hidden;
    for (const char* kept : {"lookRow", "zoomRow", "maxZoomSlider", "zoomHint", "clickHighlightToggle", "ownCursorToggle", "countdownRow", "clicksHint"})
        EXPECT_TRUE(showsInSection(QString::fromLatin1(kept))) << kept;

    controller->setZoomAmount(2.4);
    section()->findChild<SegmentedRow*>(QStringLiteral("zoomRow"))->control()->segment(2)->click();
    settle();
    EXPECT_EQ(controller->zoomMode(), ZoomMode::off);
    EXPECT_FALSE(showsInSection(QStringLiteral("maxZoomSlider")));
    EXPECT_FALSE(showsInSection(QStringLiteral("zoomHint")));
    controller->setZoomMode(ZoomMode::manual);
    settle();
    EXPECT_EQ(section()->findChild<LabelledSlider*>(QStringLiteral("maxZoomSlider"))->valueText(), QStringLiteral("2.40×"));
}

TEST_F(MotionSectionTest, everySectionFollowsTheBusyPhases)
{
    const std::vector<RecordingPhase> phases{RecordingPhase::idle(), RecordingPhase::countingDown(), RecordingPhase::preparing(),
        RecordingPhase::recording(), RecordingPhase::paused(), RecordingPhase::finishing(), RecordingPhase::finished(path("f.mov")),
        RecordingPhase::failed(QStringLiteral("x"))};
    for (const RecordingPhase& phase : phases) {
        setPhase(phase);
        const bool busy = phase.isBusy();
        EXPECT_EQ(section()->isEnabled(), !busy) << static_cast<int>(phase.kind());
        EXPECT_EQ(view->findChild<RemoteSection*>()->isEnabled(), !busy) << static_cast<int>(phase.kind());
    }
}

TEST_F(MotionSectionTest, thePreviewIsHandedTheControllersLookPauseAndCamera)
{
    struct Row {
        FaceLayout face;
        StudioBackground background;
        bool grade;
        bool camera;
        RecordingPhase phase;
        bool paused;
    };
    const std::vector<Row> rows{
        {FaceLayout::tallLeft, StudioBackground::linen, false, false, RecordingPhase::idle(), false},
        {FaceLayout::bottomRight, StudioBackground::darkRoom, true, true, RecordingPhase::idle(), false},
        {FaceLayout::bottomRight, StudioBackground::clay, true, true, RecordingPhase::countingDown(), true},
        {FaceLayout::tallLeft, StudioBackground::silkWaves, false, true, RecordingPhase::preparing(), true},
        {FaceLayout::tallLeft, StudioBackground::dotPaper, true, false, RecordingPhase::recording(), true},
        {FaceLayout::bottomRight, StudioBackground::sunlitStudio, false, true, RecordingPhase::paused(), true},
        {FaceLayout::tallLeft, StudioBackground::blushMesh, true, true, RecordingPhase::finishing(), true},
        {FaceLayout::bottomRight, StudioBackground::linen, false, false, RecordingPhase::finished(path("f.mov")), false},
        {FaceLayout::tallLeft, StudioBackground::clay, true, true, RecordingPhase::failed(QStringLiteral("x")), false},
    };
    auto* preview = section()->findChild<StudioLayoutPreview*>();
    ASSERT_NE(preview, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.phase.kind()));
        setPhase(RecordingPhase::idle()); // the look can only be changed between takes
        controller->setFaceLayout(row.face);
        controller->setStudioBackground(row.background);
        controller->setCameraGrade(row.grade);
        controller->setCameraEnabled(row.camera);
        setPhase(row.phase);
        const StudioLayoutPreview::Key& shown = preview->key();
        EXPECT_EQ(shown.face, row.face);
        EXPECT_EQ(shown.background, row.background);
        EXPECT_EQ(shown.grade, row.grade);
        EXPECT_EQ(shown.cameraLive, row.camera);
        EXPECT_EQ(shown.paused, row.paused);
        EXPECT_EQ(preview->frameTap(), controller->deskCameraFrameTap());
        EXPECT_EQ(preview->captionText(), StudioLayoutPreview::caption(row.face, row.camera));
    }
}

TEST_F(MotionSectionTest, theWheelScrollsTheColumnInsteadOfChangingAChoice)
{
    controller->setCameraEnabled(true);
    controller->phone().setPhoneEnabled(true);
    settle();
    QScrollArea* area = view->scrollArea();
    ASSERT_GT(area->verticalScrollBar()->maximum(), 0) << "the screen column is taller than its area";
    const StudioBackground before = controller->studioBackground();
    auto* popup = section()->findChild<PickerRow*>(QStringLiteral("backgroundPicker"))->popup();
    EXPECT_EQ(popup->focusPolicy(), Qt::StrongFocus) << "the wheel does not focus a pop-up in the column";
    const auto wheel = [](QWidget* target) {
        QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
            Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    };
    wheel(popup);
    EXPECT_EQ(controller->studioBackground(), before);
    EXPECT_GT(area->verticalScrollBar()->value(), 0);
    // With the focus on it, the pop-up takes the wheel as usual.
    popup->setFocus();
    wheel(popup);
    EXPECT_NE(controller->studioBackground(), before);
}

} // namespace
