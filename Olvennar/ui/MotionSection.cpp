#include "ui/MotionSection.h"

#include "core/HotKeyCenter.h"
#include "core/RecordingController.h"
#include "ui/LabelledSlider.h"
#include "ui/PickerRow.h"
#include "ui/SectionNote.h"
#include "ui/SectionTitle.h"
#include "ui/SegmentedControl.h"
#include "ui/SegmentedRow.h"
#include "ui/StudioLayoutPreview.h"
#include "ui/WindowStyle.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

// "Every click" is planned by the timeline but not offered here.
constexpr std::array<ZoomMode, 3> offeredZoomModes{ZoomMode::smart, ZoomMode::manual, ZoomMode::off};
constexpr std::array<int, 3> countdownChoices{0, 3, 5};

template <typename Enum, size_t N, typename Text>
QStringList titles(const std::array<Enum, N>& cases, Text text)
{
    QStringList result;
    for (Enum value : cases)
        result << text(value);
    return result;
}

template <typename Enum, size_t N>
int indexOf(const std::array<Enum, N>& cases, Enum value)
{
    const auto found = std::find(cases.begin(), cases.end(), value);
    return found == cases.end() ? -1 : static_cast<int>(found - cases.begin());
}

// Writes the clicked segment's value.
template <typename Enum, size_t N, typename Write>
void onSegment(SegmentedRow* row, QObject* context, const std::array<Enum, N>& cases, Write write)
{
    QObject::connect(row->control(), &SegmentedControl::activated, context, [cases, write](int index) {
        if (index >= 0 && index < static_cast<int>(N))
            write(cases[static_cast<size_t>(index)]);
    });
}

QCheckBox* toggle(const QString& title, const QString& name, QWidget* parent)
{
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(name);
    box->setFont(WindowStyle::font(12));
    return box;
}

} // namespace

MotionSection::MotionSection(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , look_(new SegmentedRow(QStringLiteral("Look"), titles(StudioLook::screenLayouts, [](ScreenLayout v) { return StudioLook::rawText(v); }), 170, this))
    , studio_(new QWidget(this))
    , face_(new SegmentedRow(QStringLiteral("Face card"), titles(StudioLook::faceLayouts, [](FaceLayout v) { return StudioLook::rawText(v); }), 170, studio_))
    , background_(new PickerRow(QStringLiteral("Background"), 170, studio_))
    , layout_(new SegmentedRow(QStringLiteral("Layout"), titles(LayoutModes::allCases, [](LayoutMode v) { return LayoutModes::rawText(v); }), 170, studio_))
    , layoutHelp_(SectionNote::make(QStringLiteral("layoutHelp"), QString(), studio_))
    , preview_(new StudioLayoutPreview(studio_))
    , grade_(toggle(QStringLiteral("Warm camera grade"), QStringLiteral("gradeToggle"), studio_))
    , focusedWindow_(toggle(QStringLiteral("Frame the focused window"), QStringLiteral("focusedWindowToggle"), studio_))
    , export4K_(toggle(QStringLiteral("Export 4K (3840×2160)"), QStringLiteral("export4KToggle"), studio_))
    , zoom_(new SegmentedRow(QStringLiteral("Zoom"), titles(offeredZoomModes, [](ZoomMode v) { return ZoomModes::rawText(v); }), 170, this))
    , zoomDetails_(new QWidget(this))
    , zoomAmount_(new LabelledSlider(QStringLiteral("Max zoom"), 1.5, 3.0, QStringLiteral("×"), 2, zoomDetails_))
    , zoomHint_(SectionNote::make(QStringLiteral("zoomHint"), QString(), zoomDetails_))
    , clickHighlight_(toggle(QStringLiteral("Highlight clicks"), QStringLiteral("clickHighlightToggle"), this))
    , ownCursor_(toggle(QStringLiteral("Our cursor (bigger, smoothed)"), QStringLiteral("ownCursorToggle"), this))
    , countdown_(new SegmentedRow(QStringLiteral("Countdown"), {QStringLiteral("Off"), QStringLiteral("3s"), QStringLiteral("5s")}, 150, this))
    , clicksHint_(SectionNote::make(QStringLiteral("clicksHint"), QString(), this))
{
    setObjectName(QStringLiteral("motionSection"));
    look_->setObjectName(QStringLiteral("lookRow"));
    studio_->setObjectName(QStringLiteral("studioControls"));
    face_->setObjectName(QStringLiteral("faceCardRow"));
    background_->setObjectName(QStringLiteral("backgroundPicker"));
    layout_->setObjectName(QStringLiteral("layoutRow"));
    zoom_->setObjectName(QStringLiteral("zoomRow"));
    zoomDetails_->setObjectName(QStringLiteral("zoomDetails"));
    zoomAmount_->setObjectName(QStringLiteral("maxZoomSlider"));
    countdown_->setObjectName(QStringLiteral("countdownRow"));
    export4K_->setToolTip(QStringLiteral("Only when the capture is at least 2560 px wide; otherwise the take exports at its own size."));
    std::vector<PickerRow::Entry> backdrops;
    for (StudioBackground background : StudioLook::backgrounds)
        backdrops.push_back({StudioLook::rawText(background), static_cast<int>(background)});
    background_->setEntries(backdrops, QVariant());

    auto* studioColumn = new QVBoxLayout(studio_);
    studioColumn->setContentsMargins(0, 0, 0, 0);
    studioColumn->setSpacing(10);
    for (QWidget* child : std::initializer_list<QWidget*>{face_, background_, layout_, layoutHelp_, preview_, grade_, focusedWindow_, export4K_})
        studioColumn->addWidget(child);
    auto* zoomColumn = new QVBoxLayout(zoomDetails_);
    zoomColumn->setContentsMargins(0, 0, 0, 0);
    zoomColumn->setSpacing(10);
    zoomColumn->addWidget(zoomAmount_);
    zoomColumn->addWidget(zoomHint_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(new SectionTitle(QStringLiteral("Motion"), QStringLiteral("cursorarrow.click.2"), this));
    for (QWidget* child : std::initializer_list<QWidget*>{look_, studio_, zoom_, zoomDetails_, clickHighlight_, ownCursor_, countdown_, clicksHint_})
        column->addWidget(child);

    RecordingController* owner = &controller_;
    onSegment(look_, this, StudioLook::screenLayouts, [owner](ScreenLayout v) { owner->setScreenLayout(v); });
    onSegment(face_, this, StudioLook::faceLayouts, [owner](FaceLayout v) { owner->setFaceLayout(v); });
    onSegment(layout_, this, LayoutModes::allCases, [owner](LayoutMode v) { owner->setLayoutMode(v); });
    onSegment(zoom_, this, offeredZoomModes, [owner](ZoomMode v) { owner->setZoomMode(v); });
    onSegment(countdown_, this, countdownChoices, [owner](int seconds) { owner->setCountdownSeconds(seconds); });
    connect(background_, &PickerRow::activated, this, [owner](const QVariant& value) {
        const int index = value.toInt();
        if (value.isValid() && index >= 0 && index < static_cast<int>(StudioLook::backgrounds.size()))
            owner->setStudioBackground(static_cast<StudioBackground>(index));
    });
    connect(grade_, &QCheckBox::toggled, this, [owner](bool on) { owner->setCameraGrade(on); });
    connect(focusedWindow_, &QCheckBox::toggled, this, [owner](bool on) { owner->setFrameFocusedWindow(on); });
    connect(export4K_, &QCheckBox::toggled, this, [owner](bool on) { owner->setExport4K(on); });
    connect(clickHighlight_, &QCheckBox::toggled, this, [owner](bool on) { owner->setClickHighlight(on); });
    connect(ownCursor_, &QCheckBox::toggled, this, [owner](bool on) { owner->setOwnCursor(on); });
    connect(zoomAmount_, &LabelledSlider::valueEdited, this, [owner](double amount) { owner->setZoomAmount(amount); });
    sync();
}

QString MotionSection::layoutHelp(const RecordingController& controller)
{
    if (controller.layoutMode() == LayoutMode::fixed)
        return QStringLiteral("The face card stays in its slot for the whole take.");
    if (controller.studioBackground() == StudioBackground::darkRoom)
        return QStringLiteral("Dark room always uses the fixed layout.");
    return QStringLiteral("Opens and closes on you, goes side by side or face-only while you talk with nothing happening on screen, and "
                          "gives the screen more room during a long zoom. Decided at export; it never moves more than every ~7s.");
}

QString MotionSection::zoomHint(const RecordingController& controller)
{
    return QString::fromLatin1(HotKeyNames::zoomIn) + QStringLiteral(" zoom here   ") + QString::fromLatin1(HotKeyNames::zoomOut)
        + QStringLiteral(" zoom out")
        + (controller.zoomMode() == ZoomMode::smart
                ? QStringLiteral("  ·  Smart only zooms on sustained work in one small spot or typing; your marks always win.")
                : QStringLiteral("  ·  Only your marks zoom."));
}

QString MotionSection::clicksHint(const RecordingController& controller)
{
    return QStringLiteral("Clicks are saved as data, not burned in — zoom and highlights can be retimed or removed in the edit.")
        + (controller.ownCursor() ? QStringLiteral(" With our cursor on, your cursor is left out of the recording and drawn back at export — "
                                                   "on screen it stays exactly as normal.")
                                  : QString());
}

void MotionSection::sync()
{
    const RecordingController& c = controller_;
    const bool busy = c.phase().isBusy();
    const bool studio = c.screenLayout() == ScreenLayout::studio;
    look_->control()->setCurrentIndex(indexOf(StudioLook::screenLayouts, c.screenLayout()));
    studio_->setVisible(studio);
    face_->control()->setCurrentIndex(indexOf(StudioLook::faceLayouts, c.faceLayout()));
    background_->setEntries(background_->entries(), static_cast<int>(c.studioBackground()));
    layout_->control()->setCurrentIndex(indexOf(LayoutModes::allCases, c.layoutMode()));
    layoutHelp_->setText(layoutHelp(c));
    {
        const QSignalBlocker gradeBlocker(grade_);
        const QSignalBlocker focusBlocker(focusedWindow_);
        const QSignalBlocker exportBlocker(export4K_);
        const QSignalBlocker clicksBlocker(clickHighlight_);
        const QSignalBlocker cursorBlocker(ownCursor_);
        grade_->setChecked(c.cameraGrade());
        focusedWindow_->setChecked(c.frameFocusedWindow());
        export4K_->setChecked(c.export4K());
        clickHighlight_->setChecked(c.clickHighlight());
        ownCursor_->setChecked(c.ownCursor());
    }
    zoom_->control()->setCurrentIndex(indexOf(offeredZoomModes, c.zoomMode()));
    zoomDetails_->setVisible(c.zoomMode() != ZoomMode::off);
    zoomAmount_->setValue(c.zoomAmount());
    zoomHint_->setText(zoomHint(c));
    countdown_->control()->setCurrentIndex(indexOf(countdownChoices, c.countdownSeconds()));
    clicksHint_->setText(clicksHint(c));
    preview_->setFace(c.faceLayout());
    preview_->setBackground(c.studioBackground());
    preview_->setGrade(c.cameraGrade());
    preview_->setPaused(busy);
    preview_->setCameraLive(c.cameraEnabled());
    preview_->setFrameTap(c.deskCameraFrameTap());
    setEnabled(!busy);
}
