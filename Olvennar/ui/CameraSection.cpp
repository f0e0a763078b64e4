#include "ui/CameraSection.h"

#include "core/RecordingController.h"
#include "ui/CameraPicker.h"
#include "ui/CheckFramingRow.h"
#include "ui/LabelledSlider.h"
#include "ui/PhaseGroups.h"
#include "ui/PickerRow.h"
#include "ui/SegmentedControl.h"
#include "ui/TitleToggle.h"
#include "ui/WindowStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr const auto& shapes = BubbleShapes::allCases;

} // namespace

CameraSection::CameraSection(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , enabled_(new TitleToggle(QStringLiteral("Camera bubble"), QStringLiteral("person.crop.circle"), this))
    , controls_(new QWidget(this))
    , camera_(new CameraPicker(controller, controls_))
    , shapeRow_(new QWidget(controls_))
    , shape_(new SegmentedControl(shapeRow_))
    , size_(new LabelledSlider(QStringLiteral("Size"), 140, 460, QStringLiteral("px"), 0, controls_))
    , mirror_(new QCheckBox(QStringLiteral("Mirror me"), controls_))
    , explanation_(new QLabel(controls_))
    , framingTips_(new QCheckBox(QStringLiteral("Framing tips on the bubble"), controls_))
    , checkFraming_(new CheckFramingRow(controller, actions, this))
{
    setObjectName(QStringLiteral("cameraSection"));
    enabled_->setObjectName(QStringLiteral("cameraToggle"));
    controls_->setObjectName(QStringLiteral("cameraControls"));
    camera_->setObjectName(QStringLiteral("cameraPicker"));
    shapeRow_->setObjectName(QStringLiteral("bubbleShapeRow"));
    size_->setObjectName(QStringLiteral("bubbleSizeSlider"));
    mirror_->setObjectName(QStringLiteral("mirrorToggle"));
    explanation_->setObjectName(QStringLiteral("cameraExplanation"));
    framingTips_->setObjectName(QStringLiteral("framingTipsToggle"));
    QStringList shapeTitles;
    for (BubbleShape shape : shapes)
        shapeTitles << BubbleShapes::rawText(shape);
    shape_->setSegments(shapeTitles);
    shape_->setFixedWidth(170);
    auto* shapeLayout = new QHBoxLayout(shapeRow_);
    shapeLayout->setContentsMargins(0, 0, 0, 0);
    auto* shapeTitleLabel = new QLabel(QStringLiteral("Shape"), shapeRow_);
    shapeTitleLabel->setFont(WindowStyle::font(12));
    shapeLayout->addWidget(shapeTitleLabel);
    shapeLayout->addStretch(1);
    shapeLayout->addWidget(shape_);
    for (QCheckBox* toggle : {mirror_, framingTips_})
        toggle->setFont(WindowStyle::font(12));
    framingTips_->setToolTip(QStringLiteral("A traffic light and one short tip at the bottom of the bubble. Only on your screen — never in the recording."));
    explanation_->setFont(WindowStyle::font(11));
    explanation_->setWordWrap(true);
    WindowStyle::setTone(explanation_, WindowStyle::Tone::secondary);

    auto* controlsColumn = new QVBoxLayout(controls_);
    controlsColumn->setContentsMargins(0, 0, 0, 0);
    controlsColumn->setSpacing(10);
    controlsColumn->addWidget(camera_);
    controlsColumn->addWidget(shapeRow_);
    controlsColumn->addWidget(size_);
    controlsColumn->addWidget(mirror_);
    controlsColumn->addWidget(explanation_);
    controlsColumn->addWidget(framingTips_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(enabled_);
    column->addWidget(controls_);
    column->addWidget(checkFraming_);

    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) { controller_.setCameraEnabled(on); });
    connect(shape_, &SegmentedControl::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(shapes.size()))
            controller_.setBubbleShape(shapes[static_cast<size_t>(index)]);
    });
    connect(size_, &LabelledSlider::valueEdited, this, [this](double size) { controller_.setBubbleSize(size); });
    connect(mirror_, &QCheckBox::toggled, this, [this](bool on) { controller_.setMirrorCamera(on); });
    connect(framingTips_, &QCheckBox::toggled, this, [this](bool on) { controller_.setFramingHintsOnBubble(on); });
    sync();
}

QString CameraSection::explanation(const RecordingController& controller)
{
    if (controller.screenLayout() == ScreenLayout::classic)
        return QStringLiteral("Drag the bubble anywhere. It is invisible in the raw file and painted in at the end, so it can still be moved or removed later.");
    return QStringLiteral("Studio look: the bubble is shaped and cropped exactly like the face card in the final video (")
        + StudioLook::rawText(controller.faceLayout()).toLower()
        + QStringLiteral(", set under Motion). Where you drag it doesn't matter — the export always puts the card in its slot. "
                         "Line your eyes up with the dashed guide when it appears.");
}

QString CameraSection::framingHelp(const RecordingController& controller)
{
    if (controller.screenLayout() == ScreenLayout::classic)
        return QStringLiteral("A big live preview of your bubble, with guides and tips.");
    const bool allLayouts = controller.layoutMode() == LayoutMode::dynamic && controller.studioBackground() != StudioBackground::darkRoom;
    return QStringLiteral("A big live preview of every card you'll appear in (Studio") + (allLayouts ? QStringLiteral(", all Dynamic layouts") : QString())
        + QStringLiteral("), with guides and tips.");
}

void CameraSection::sync()
{
    const bool on = controller_.cameraEnabled();
    {
        const QSignalBlocker enabledBlocker(enabled_);
        const QSignalBlocker mirrorBlocker(mirror_);
        const QSignalBlocker tipsBlocker(framingTips_);
        enabled_->setChecked(on);
        mirror_->setChecked(controller_.mirrorCamera());
        framingTips_->setChecked(controller_.framingHintsOnBubble());
    }
    controls_->setVisible(on);
    camera_->sync();
    // Switching cameras mid-take would cut the bubble's file.
    camera_->setEnabled(!isTakeRunning(controller_.phase()));
    const bool classic = controller_.screenLayout() == ScreenLayout::classic;
    shapeRow_->setVisible(classic);
    const auto shape = std::find(shapes.begin(), shapes.end(), controller_.bubbleShape());
    shape_->setCurrentIndex(static_cast<int>(shape - shapes.begin()));
    size_->setValue(controller_.bubbleSize());
    explanation_->setText(explanation(controller_));
    checkFraming_->setHelp(framingHelp(controller_));
    checkFraming_->sync();
}
