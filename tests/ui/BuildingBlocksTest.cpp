#include "WindowTest.h"

#include "core/QuitGuard.h"
#include "ui/ChannelChip.h"
#include "ui/DividedColumn.h"
#include "ui/ElidedLabel.h"
#include "ui/FileManagerReveal.h"
#include "ui/HomePath.h"
#include "ui/LabelledSlider.h"
#include "ui/MainWindow.h"
#include "ui/SectionSlot.h"
#include "ui/SegmentedControl.h"
#include "ui/ThemeIcon.h"

#include <QLabel>
#include <QLayout>
#include <QScrollArea>
#include <QSlider>
#include <QToolButton>

#include <cmath>
#include <limits>

namespace {

TEST(LabelledSliderTest, printsTheValueWithItsDecimalsAndSuffix)
{
    EXPECT_EQ(LabelledSlider::formatValue(1.9, 2, QStringLiteral("×")), QStringLiteral("1.90×"));
    EXPECT_EQ(LabelledSlider::formatValue(300, 0, QStringLiteral("px")), QStringLiteral("300px"));
    EXPECT_EQ(LabelledSlider::formatValue(299.5, 0, QStringLiteral("px")), QStringLiteral("300px"));
    EXPECT_EQ(LabelledSlider::formatValue(140, 0, QStringLiteral("px")), QStringLiteral("140px"));
    EXPECT_EQ(LabelledSlider::formatValue(0.25, 1, QStringLiteral(" s")), QStringLiteral("0.2 s")); // round half to even, as printf does

    LabelledSlider slider(QStringLiteral("Max zoom"), 1.5, 3.0, QStringLiteral("×"), 2);
    std::vector<double> edits;
    QObject::connect(&slider, &LabelledSlider::valueEdited, [&edits](double value) { edits.push_back(value); });
    slider.setValue(1.9);
    EXPECT_EQ(slider.valueText(), QStringLiteral("1.90×"));
    EXPECT_TRUE(edits.empty()) << "a value from the model is not an edit";
    slider.setValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(slider.slider()->value(), 0);
    slider.slider()->setValue(500);
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_DOUBLE_EQ(edits.front(), 2.25);
    EXPECT_EQ(slider.valueText(), QStringLiteral("2.25×"));
}

TEST(SegmentedControlTest, reportsClicksButNotSelectionsFromTheModel)
{
    SegmentedControl control;
    control.setSegments({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    std::vector<int> activated;
    QObject::connect(&control, &SegmentedControl::activated, [&activated](int index) { activated.push_back(index); });
    control.setCurrentIndex(2);
    EXPECT_EQ(control.currentIndex(), 2);
    control.setCurrentIndex(-1);
    EXPECT_EQ(control.currentIndex(), -1);
    EXPECT_TRUE(activated.empty());
    control.segment(1)->click();
    EXPECT_EQ(activated, std::vector<int>{1});
    // The same titles again keep the buttons and the selection.
    QToolButton* first = control.segment(0);
    control.setSegments({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    EXPECT_EQ(control.segment(0), first);
    EXPECT_EQ(control.currentIndex(), 1);
    control.setSegments({QStringLiteral("Only")});
    EXPECT_EQ(control.currentIndex(), -1);
}

TEST(ElidedLabelTest, keepsBothEndsAndOffersTheWholeTextAsTooltip)
{
    ElidedLabel label(Qt::ElideMiddle);
    label.setText(QStringLiteral("~/Videos/short"));
    label.resize(400, 20);
    EXPECT_EQ(label.shownText(), label.text());
    EXPECT_TRUE(label.toolTip().isEmpty());
    label.setText(QStringLiteral("~/Videos/") + QString(200, QLatin1Char('x')) + QStringLiteral("/Recordings"));
    EXPECT_TRUE(label.shownText().startsWith(QStringLiteral("~/Videos/")));
    EXPECT_TRUE(label.shownText().endsWith(QStringLiteral("/Recordings")));
    EXPECT_EQ(label.toolTip(), label.text());
}

TEST(ChannelChipTest, labelsAndColoursPerChannel)
{
    const QPalette palette;
    struct Row {
        RecordingChannel channel;
        const char* label;
        QColor text, capsule;
    };
    const std::vector<Row> rows{
        {RecordingChannel::dorvelTalk, "Dorvel Talk", QColor(0x22, 0x30, 0x5A), QColor(0xFB, 0xE2, 0x7A)},
        {RecordingChannel::branchline, "Branchline", QColor(0xB4, 0x55, 0x2D), QColor(0xEF, 0xE2, 0xD4)},
        {RecordingChannel::inkwell, "Inkwell Hour", QColor(0x54, 0x13, 0x08), QColor(0xF2, 0xED, 0xE2)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ChannelChip::label(row.channel), QString::fromLatin1(row.label));
        EXPECT_EQ(ChannelChip::textColor(row.channel, palette), row.text);
        EXPECT_EQ(ChannelChip::capsuleColor(row.channel, palette), row.capsule);
        EXPECT_EQ(ChannelChip::capsuleColor(row.channel, palette).alpha(), 255);
    }
    EXPECT_EQ(ChannelChip::label(RecordingChannel::ai), QStringLiteral("AI channel"));
    const QColor secondary = ChannelChip::textColor(RecordingChannel::ai, palette);
    const QColor capsule = ChannelChip::capsuleColor(RecordingChannel::ai, palette);
    EXPECT_EQ(capsule.rgb(), secondary.rgb());
    EXPECT_NEAR(capsule.alphaF(), secondary.alphaF() * 0.15, 0.01);

    // Never squeezed: its minimum is the whole label.
    ChannelChip chip(RecordingChannel::inkwell);
    EXPECT_EQ(chip.minimumSizeHint(), chip.sizeHint());
    EXPECT_GT(chip.sizeHint().width(), chip.fontMetrics().horizontalAdvance(QStringLiteral("Inkwell Hour")));
}

TEST(ThemeIconTest, everySymbolTheWindowUsesCanBeDrawn)
{
    const QStringList symbols{"record.circle", "pause.fill", "play.fill", "stop.fill", "trash.fill", "folder", "arrow.up.forward.square",
        "arrow.clockwise", "exclamationmark.triangle.fill", "checkmark.circle.fill", "pause.circle", "display", "person.crop.circle",
        "person.crop.rectangle", "iphone"};
    for (const QString& name : symbols) {
        EXPECT_FALSE(ThemeIcon::themeName(name).isEmpty()) << name.toStdString();
        EXPECT_TRUE(ThemeIcon::hasDrawing(name)) << name.toStdString();
        // The drawing really marks the box, in the tint asked for.
        const QImage image = ThemeIcon::painted(name, QColor(200, 0, 0)).pixmap(16, 16).toImage();
        int inked = 0; // pixels in the tint
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                // White marks inside filled symbols are part of the drawing; the rest carries the tint.
                if (qAlpha(pixel) > 128 && qGreen(pixel) < 128)
                    ++inked;
            }
        }
        EXPECT_GT(inked, 10) << name.toStdString();
        EXPECT_FALSE(ThemeIcon::icon(name, Qt::black).isNull()) << name.toStdString();
    }
    EXPECT_TRUE(ThemeIcon::painted(QStringLiteral("no.such.symbol"), Qt::black).isNull());
}

TEST(DividedColumnTest, drawsRulesOnlyBetweenShownMembers)
{
    DividedColumn column(0.18, 18);
    std::vector<QWidget*> members;
    for (int i = 0; i < 4; ++i) {
        members.push_back(new QWidget(&column));
        column.addMember(members.back());
    }
    EXPECT_EQ(column.shownDividerCount(), 3);
    members[1]->hide();
    EXPECT_EQ(column.shownDividerCount(), 2);
    members[0]->hide();
    EXPECT_EQ(column.shownDividerCount(), 1) << "no rule above the first shown member";
    members[3]->hide();
    EXPECT_EQ(column.shownDividerCount(), 0);
    members[1]->show();
    EXPECT_EQ(column.shownDividerCount(), 1);
}

TEST(PathTextTest, homeIsWrittenAsTilde)
{
    const QString home = TestEnvironment::home();
    EXPECT_EQ(HomePath::abbreviated(home), QStringLiteral("~"));
    EXPECT_EQ(HomePath::abbreviated(home + QStringLiteral("/Videos/./Olvennar/")), QStringLiteral("~/Videos/Olvennar"));
    EXPECT_EQ(HomePath::abbreviated(home + QStringLiteral("-other/x")), home + QStringLiteral("-other/x"));
    EXPECT_EQ(HomePath::abbreviated(QStringLiteral("/srv/takes")), QStringLiteral("/srv/takes"));
    EXPECT_EQ(FileManagerReveal::fallbackFolder(home + QStringLiteral("/Videos")), home + QStringLiteral("/Videos"));
    EXPECT_EQ(FileManagerReveal::fallbackFolder(home + QStringLiteral("/Videos/final.mov")), home + QStringLiteral("/Videos"));
}

class WindowLayoutTest : public WindowTest { };

TEST_F(WindowLayoutTest, settingsAreaFollowsItsContentUpToItsLimit)
{
    // "Voice only" with empty slots: a short column, shown whole.
    controller->setCaptureMode(CaptureMode::voice);
    settle();
    QScrollArea* area = view->scrollArea();
    const int voiceHeight = area->height();
    EXPECT_LT(voiceHeight, ContentView::maximumScrollHeight);
    EXPECT_EQ(voiceHeight, area->widget()->layout()->totalHeightForWidth(ContentView::contentWidth));

    // "Screen" with the camera and phone open: taller than the limit, so it scrolls.
    controller->setCaptureMode(CaptureMode::screen);
    controller->setCameraEnabled(true);
    controller->setPhoneEnabled(true);
    settle();
    EXPECT_EQ(area->height(), ContentView::maximumScrollHeight);
    EXPECT_GT(area->widget()->layout()->totalHeightForWidth(ContentView::contentWidth), ContentView::maximumScrollHeight);
    EXPECT_EQ(view->width(), ContentView::contentWidth);
}

TEST_F(WindowLayoutTest, mainWindowTakesItsSizeFromItsContent)
{
    QuitGuard guard;
    MainWindow window(*controller, guard);
    controller->setCaptureMode(CaptureMode::voice);
    window.show();
    settle();
    const int voice = window.height();
    EXPECT_EQ(window.width(), ContentView::contentWidth);

    // A notice appears: the window grows by it, the column keeps its width.
    controller->setMicPermission(Permissions::State::denied);
    settle();
    const int withNotice = window.height();
    EXPECT_GT(withNotice, voice);

    // "Screen" with every source open is taller than the limit: the settings scroll, the window stops growing.
    controller->setCaptureMode(CaptureMode::screen);
    controller->setCameraEnabled(true);
    controller->setPhoneEnabled(true);
    settle();
    const int tall = window.height();
    controller->setMicrophones({device("a", "A", 1), device("b", "B", 2)});
    controller->setSelectedMicrophoneID(QStringLiteral("a"));
    settle();
    EXPECT_EQ(window.height(), tall);
    EXPECT_EQ(window.width(), ContentView::contentWidth);
}

TEST_F(WindowLayoutTest, wrappedTextsGetTheirWholeHeight)
{
    // Long texts in notices, warnings and the prompt, in both branches.
    controller->setMicrophones({device("bt", "A Bluetooth headset with a rather long name", 1), device("usb", "USB Mic", 3)});
    controller->setSelectedMicrophoneID(QStringLiteral("bt"));
    controller->setMicPermission(Permissions::State::denied);
    controller->setCaptureMode(CaptureMode::voice);
    controller->setPhase(RecordingPhase::failed(QStringLiteral("Could not write the finished file: the disk is full. ").repeated(4)));
    for (bool prompt : {false, true}) {
        controller->setCaptureMode(prompt ? CaptureMode::screen : CaptureMode::voice);
        controller->setHasScreenPermission(!prompt);
        settle();
        view->adjustSize();
        settle();
        int checked = 0;
        for (QLabel* label : view->findChildren<QLabel*>()) {
            if (!label->wordWrap() || !label->isVisibleTo(view.get()) || label->text().isEmpty())
                continue;
            ++checked;
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().left(40).toStdString();
        }
        EXPECT_GE(checked, prompt ? 2 : 4);
    }
}

TEST_F(WindowLayoutTest, slotsShowThePlacedSectionsInTheirModes)
{
    auto* motion = new QWidget;
    auto* voice = new QWidget;
    auto* remote = new QWidget;
    view->slot(ContentView::Slot::motion)->setSection(motion);
    view->slot(ContentView::Slot::voiceOnly)->setSection(voice);
    view->slot(ContentView::Slot::remote)->setSection(remote);
    view->sync();
    EXPECT_TRUE(motion->isVisibleTo(view.get()));
    EXPECT_FALSE(voice->isVisibleTo(view.get()));
    EXPECT_TRUE(remote->isVisibleTo(view.get()));
    EXPECT_FALSE(view->slot(ContentView::Slot::teleprompter)->isVisibleTo(view.get())) << "an empty slot takes no room";

    controller->setCaptureMode(CaptureMode::voice);
    settle();
    EXPECT_FALSE(motion->isVisibleTo(view.get()));
    EXPECT_TRUE(voice->isVisibleTo(view.get()));
    EXPECT_TRUE(remote->isVisibleTo(view.get()));
    // Mode section, voice section and remote section: two rules between them.
    EXPECT_EQ(view->findChild<DividedColumn*>()->shownDividerCount(), 2);
}

} // namespace
