#include "views/framing/FramingAssistantView.h"
#include "views/framing/FramingStage.h"
#include "views/framing/FramingStatusBadge.h"
#include "views/framing/FramingWindow.h"

#include "FramingCheckSupport.h"
#include "QtPrinters.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

const std::vector<FramingCropSpec> studioFour
    = FramingCropSpec::studioCrops(FaceLayout::bottomRight, StudioBackground::linen, true);

class FramingCheckViewTest : public ::testing::Test {
protected:
    JudgedMonitor judged;
};

TEST_F(FramingCheckViewTest, OneCropShowsNoStripNoCornerBadgeAndNoCount)
{
    ASSERT_TRUE(judged.judge({FramingCropSpec::shape(BubbleShape::circle)}));
    FramingAssistantView view(judged.monitor);
    EXPECT_TRUE(view.strip().isHidden());
    EXPECT_EQ(view.cardCount(), 0);
    EXPECT_TRUE(view.cornerBadge().isHidden());
    EXPECT_TRUE(view.countNote().isHidden());
    EXPECT_EQ(view.headerBadge().advice(), judged.monitor.report().overall);
    EXPECT_EQ(view.caption().text(), QStringLiteral("Circle: ") + FramingCropSpec::shape(BubbleShape::circle).caption());
    EXPECT_TRUE(view.viewToggle().isEnabled());
    EXPECT_DOUBLE_EQ(view.viewToggleOpacity(), 1.0);
}

TEST_F(FramingCheckViewTest, FourStudioCropsShowTheCountTheStripAndTheSelectedCropsVerdict)
{
    ASSERT_TRUE(judged.judge(studioFour));
    FramingAssistantView view(judged.monitor);
    const FramingReport& report = judged.monitor.report();
    EXPECT_FALSE(view.strip().isHidden());
    ASSERT_EQ(view.cardCount(), 4);
    EXPECT_FALSE(view.countNote().isHidden());
    EXPECT_EQ(view.countNote().text(), QStringLiteral("For all 4 layouts"));
    EXPECT_FALSE(view.cornerBadge().isHidden());
    EXPECT_EQ(view.cornerStatus().titleLabel()->text(), report.crops[0].name().toUpper() + QStringLiteral(" ONLY"));
    EXPECT_TRUE(view.cardHighlighted(0));
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        const FramingAdvice& advice = report.perCrop[static_cast<size_t>(index)];
        EXPECT_EQ(view.cardHint(index), advice.hints.isEmpty() ? QString() : advice.hints.first());
        EXPECT_EQ(view.cardThumbnail(index).height(), 92);
        EXPECT_FALSE(view.cardThumbnail(index).model().guides);
        EXPECT_EQ(view.cardThumbnail(index).model().crop, report.crops[static_cast<size_t>(index)]);
    }
}

TEST_F(FramingCheckViewTest, FullFrameFirstDimsAndDisablesTheViewToggle)
{
    ASSERT_TRUE(judged.judge({FramingCropSpec::fullFrame()}));
    FramingAssistantView view(judged.monitor);
    EXPECT_FALSE(view.viewToggle().isEnabled());
    EXPECT_DOUBLE_EQ(view.viewToggleOpacity(), 0.35);
}

TEST_F(FramingCheckViewTest, ASelectionBeyondAShorterListShowsTheLastCropAndIsKept)
{
    ASSERT_TRUE(judged.judge(studioFour));
    FramingAssistantView view(judged.monitor);
    view.select(3);
    EXPECT_EQ(view.stage().model().crop, judged.monitor.report().crops[3]);
    EXPECT_TRUE(view.cardHighlighted(3));

    ASSERT_TRUE(judged.judge({studioFour[0], studioFour[1]}));
    view.refresh();
    EXPECT_EQ(view.selected(), 3);
    ASSERT_EQ(view.cardCount(), 2);
    EXPECT_EQ(view.stage().model().crop, judged.monitor.report().crops[1]);
    EXPECT_TRUE(view.cardHighlighted(1));
    EXPECT_FALSE(view.cardHighlighted(0));
    EXPECT_EQ(view.stage().model().status, judged.monitor.report().perCrop[1].status);
}

// A left click as the mouse gives it, through the widget's own press and release handlers.
void clickWith(QWidget& widget)
{
    const QPointF centre = QRectF(widget.rect()).center();
    const QPointF global = widget.mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &release);
}

TEST_F(FramingCheckViewTest, ACardClickedAfterTheListShrankGoesOnlyOnceItsClickIsOver)
{
    ASSERT_TRUE(judged.judge(studioFour));
    FramingAssistantView view(judged.monitor);
    view.resize(900, 700);
    view.show();
    QPointer<QWidget> last = view.cardThumbnail(3).parentWidget();
    QPointer<QWidget> third = view.cardThumbnail(2).parentWidget();
    {
        // The shorter list is in the monitor; the view's deferred refresh has not run yet.
        const QSignalBlocker quiet(judged.monitor);
        ASSERT_TRUE(judged.judge({studioFour[0], studioFour[1]}));
    }
    ASSERT_EQ(view.cardCount(), 4);
    clickWith(*last);
    EXPECT_EQ(view.selected(), 3);
    ASSERT_EQ(view.cardCount(), 2);
    EXPECT_EQ(view.stage().model().crop, judged.monitor.report().crops[1]);
    EXPECT_TRUE(view.cardHighlighted(1));
    ASSERT_TRUE(last) << "not deleted inside its own click";
    EXPECT_TRUE(last->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(last);
    EXPECT_FALSE(third);

    // The cards that stay still select.
    clickWith(*view.cardThumbnail(0).parentWidget());
    EXPECT_EQ(view.selected(), 0);
    EXPECT_TRUE(view.cardHighlighted(0));
}

TEST_F(FramingCheckViewTest, TheToggleSwitchesViewsAndSaysWhereItLeads)
{
    ASSERT_TRUE(judged.judge(studioFour));
    FramingAssistantView view(judged.monitor);
    QPushButton& toggle = view.viewToggle();
    EXPECT_EQ(toggle.text(), QStringLiteral("Whole camera"));
    EXPECT_EQ(toggle.property("symbol").toString(), QStringLiteral("viewfinder"));
    EXPECT_DOUBLE_EQ(toggle.property("capsuleOpacity").toDouble(), 0.1);
    EXPECT_FALSE(view.stage().model().sensor);

    toggle.click();
    EXPECT_TRUE(view.sensor());
    EXPECT_TRUE(view.stage().model().sensor);
    EXPECT_EQ(toggle.text(), QStringLiteral("Show the crop"));
    EXPECT_EQ(toggle.property("symbol").toString(), QStringLiteral("crop"));
    EXPECT_DOUBLE_EQ(toggle.property("capsuleOpacity").toDouble(), 0.22);
    EXPECT_EQ(toggle.toolTip(), QStringLiteral("See the whole camera image, with what gets recorded outlined."));
}

TEST_F(FramingCheckViewTest, WithoutACameraTheFooterAsksForOneAndTheStageAssumesHd)
{
    FramingAssistantView view(judged.monitor);
    EXPECT_EQ(view.caption().text(), QStringLiteral("Turn the camera on to check your framing."));
    EXPECT_TRUE(view.strip().isHidden());
    EXPECT_FALSE(view.stage().model().crop);
    EXPECT_EQ(view.stage().model().cameraSize, QSizeF(1920, 1080));
    EXPECT_TRUE(view.stage().model().content.isLive);
    EXPECT_EQ(view.headerBadge().advice(), FramingReport::idle().overall);
}

TEST(FramingStatusBadgeTest, ProminentBadgeSizesItsLinesAndUpperCasesItsTitle)
{
    FramingStatusBadge prominent(true);
    prominent.setAdvice({FramingStatus::adjust, {QStringLiteral("Raise the camera"), QStringLiteral("Move left"), QStringLiteral("More light")}},
        QStringLiteral("Card only"));
    EXPECT_EQ(prominent.titleLabel()->text(), QStringLiteral("CARD ONLY"));
    EXPECT_EQ(prominent.titleLabel()->font().pixelSize(), 9);
    EXPECT_EQ(prominent.titleLabel()->font().weight(), QFont::Bold);
    ASSERT_EQ(prominent.lineLabels().size(), 3u);
    const int sizes[] = {15, 13, 13};
    const QFont::Weight weights[] = {QFont::DemiBold, QFont::Normal, QFont::Normal};
    const double alphas[] = {1.0, 0.8, 0.8};
    for (size_t line = 0; line < 3; ++line) {
        SCOPED_TRACE(line);
        const QLabel* label = prominent.lineLabels()[line];
        EXPECT_EQ(label->font().pixelSize(), sizes[line]);
        EXPECT_EQ(label->font().weight(), weights[line]);
        EXPECT_NEAR(label->palette().color(QPalette::WindowText).alphaF(), alphas[line], 0.01);
    }
    EXPECT_EQ(prominent.dotDiameter(), 12);

    FramingStatusBadge small(false);
    small.setAdvice({FramingStatus::good, {QStringLiteral("Looks good ✓"), QStringLiteral("Second")}});
    EXPECT_TRUE(small.titleLabel()->isHidden());
    EXPECT_EQ(small.lineLabels()[0]->font().pixelSize(), 10);
    EXPECT_EQ(small.lineLabels()[1]->font().pixelSize(), 10);
    EXPECT_EQ(small.dotDiameter(), 8);
    // Fewer lines drop the rest.
    small.setAdvice({FramingStatus::fix, {QStringLiteral("Only")}});
    EXPECT_EQ(small.lineLabels().size(), 1u);
}

TEST(FramingWindowTest, ClosingReportsOnceAndTheWindowStays)
{
    FramingMonitor monitor{std::make_shared<FixedReadingAnalyzer>()};
    FramingWindow window(new FramingAssistantView(monitor));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Check framing"));
    EXPECT_EQ(window.size(), QSize(960, 760));
    EXPECT_EQ(window.minimumSize(), QSize(560, 520));
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window.testAttribute(Qt::WA_DeleteOnClose));
    int closes = 0;
    window.onClose = [&] { ++closes; };
    window.show();
    window.close();
    window.close();
    EXPECT_EQ(closes, 1);
    // Shown again, a later close is reported again.
    window.show();
    window.close();
    EXPECT_EQ(closes, 2);
}

} // namespace
