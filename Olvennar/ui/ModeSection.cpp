#include "ui/ModeSection.h"

#include "core/RecordingController.h"
#include "ui/DestinationPicker.h"
#include "ui/SaveLocationRow.h"
#include "ui/SegmentedControl.h"
#include "ui/WindowStyle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {
QLabel* note(const QString& text, const QString& name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(WindowStyle::font(11));
    label->setWordWrap(true);
    WindowStyle::setTone(label, WindowStyle::Tone::secondary);
    return label;
}
} // namespace

ModeSection::ModeSection(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , mode_(new SegmentedControl(this))
    , saveLocation_(new SaveLocationRow(controller, actions, this))
    , destination_(new DestinationPicker(controller, this))
    , shortNote_(note(QStringLiteral("Vertical 9:16 video (1080×1920) for Shorts, Reels and TikTok. Each one gets its own folder inside Shorts."),
          QStringLiteral("shortNote"), this))
    , cameraOnlyNote_(note(QStringLiteral("Camera and microphone only — no screen, and no Screen Recording permission needed."),
          QStringLiteral("cameraOnlyNote"), this))
{
    setObjectName(QStringLiteral("modeSection"));
    mode_->setObjectName(QStringLiteral("captureModePicker"));
    QStringList titles;
    for (CaptureMode mode : CaptureModes::allCases)
        titles << CaptureModes::rawText(mode);
    mode_->setSegments(titles);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(mode_);
    column->addWidget(saveLocation_);
    column->addWidget(shortNote_);
    column->addWidget(destination_);
    column->addWidget(cameraOnlyNote_);
    connect(mode_, &SegmentedControl::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(CaptureModes::allCases.size()))
            controller_.setCaptureMode(CaptureModes::allCases[static_cast<size_t>(index)]);
    });
    sync();
}

void ModeSection::sync()
{
    const CaptureMode mode = controller_.captureMode();
    const auto found = std::find(CaptureModes::allCases.begin(), CaptureModes::allCases.end(), mode);
    mode_->setCurrentIndex(static_cast<int>(found - CaptureModes::allCases.begin()));
    saveLocation_->sync();
    destination_->sync();
    shortNote_->setVisible(mode == CaptureMode::short_);
    destination_->setVisible(mode != CaptureMode::short_);
    cameraOnlyNote_->setVisible(mode == CaptureMode::cameraOnly);
    // Mode and destination stay as they are from a start request until the studio is idle again.
    setEnabled(!controller_.takeUnderWay());
}
