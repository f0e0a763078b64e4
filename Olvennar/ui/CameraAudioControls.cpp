#include "ui/CameraAudioControls.h"

#include "core/RecordingController.h"
#include "ui/MicrophonePicker.h"
#include "ui/SegmentedControl.h"
#include "ui/WindowStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CameraAudioControls::CameraAudioControls(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , qualityPicker_(new QWidget(this))
    , quality_(new SegmentedControl(qualityPicker_))
    , fixedQuality_(new QWidget(this))
    , microphone_(new MicrophonePicker(controller, this))
{
    setObjectName(QStringLiteral("cameraAudioControls"));
    qualityPicker_->setObjectName(QStringLiteral("cameraQualityPicker"));
    fixedQuality_->setObjectName(QStringLiteral("cameraQualityFixed"));
    auto* pickerRow = new QHBoxLayout(qualityPicker_);
    pickerRow->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("Quality"), qualityPicker_);
    title->setFont(WindowStyle::font(12));
    pickerRow->addWidget(title);
    pickerRow->addStretch(1);
    pickerRow->addWidget(quality_);
    quality_->setFixedWidth(170);
    qualityPicker_->setToolTip(QStringLiteral("Best is the camera's own top 30 fps format. Lower options pin a smaller format. "
                                              "Only sizes your camera really offers are listed."));
    auto* fixedRow = new QHBoxLayout(fixedQuality_);
    fixedRow->setContentsMargins(0, 0, 0, 0);
    fixedRow->setSpacing(4);
    auto* caption = new QLabel(QStringLiteral("Quality:"), fixedQuality_);
    caption->setFont(WindowStyle::font(12));
    WindowStyle::setTone(caption, WindowStyle::Tone::secondary);
    auto* only = new QLabel(QStringLiteral("Best (the only size this camera offers)"), fixedQuality_);
    only->setFont(WindowStyle::font(12));
    fixedRow->addWidget(caption);
    fixedRow->addWidget(only, 1);

    // Camera-only modes have no screen to take the system's sound from.
    auto* systemAudio = new QCheckBox(QStringLiteral("System audio"), this);
    systemAudio->setObjectName(QStringLiteral("cameraOnlySystemAudio"));
    systemAudio->setChecked(false);
    systemAudio->setEnabled(false);
    auto* note = new QLabel(QStringLiteral("System audio needs a screen to record from, so it is off in camera-only modes. Use Screen mode for it."), this);
    note->setFont(WindowStyle::font(11));
    note->setWordWrap(true);
    WindowStyle::setTone(note, WindowStyle::Tone::secondary);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(qualityPicker_);
    column->addWidget(fixedQuality_);
    column->addWidget(microphone_);
    column->addWidget(systemAudio);
    column->addWidget(note);

    connect(quality_, &SegmentedControl::activated, this, [this](int index) {
        const auto options = controller_.cameraQualityOptions();
        if (index >= 0 && index < static_cast<int>(options.size()))
            controller_.setCameraQuality(options[index]);
    });
    sync();
}

void CameraAudioControls::sync()
{
    const auto options = controller_.cameraQualityOptions();
    const bool choosable = options.size() >= 2;
    QStringList titles;
    int current = -1;
    for (size_t i = 0; i < options.size(); ++i) {
        titles << CameraQualities::rawText(options[i]);
        if (options[i] == controller_.cameraQuality())
            current = static_cast<int>(i);
    }
    quality_->setSegments(titles);
    quality_->setCurrentIndex(current);
    qualityPicker_->setVisible(choosable);
    // A single size is a fact about a camera; with none listed there is nothing to say about quality.
    fixedQuality_->setVisible(!choosable && !controller_.cameras().empty());
    microphone_->sync();
}
