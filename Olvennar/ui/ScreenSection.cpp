#include "ui/ScreenSection.h"

#include "core/RecordingController.h"
#include "core/ScreenChoice.h"
#include "ui/MicrophonePicker.h"
#include "ui/PickerRow.h"
#include "ui/SectionTitle.h"
#include "ui/SegmentedControl.h"
#include "ui/WindowStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

ScreenSection::ScreenSection(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , display_(new PickerRow(QStringLiteral("Display"), 0, this))
    , quality_(new SegmentedControl(this))
    , microphone_(new QCheckBox(QStringLiteral("Microphone"), this))
    , microphonePicker_(new MicrophonePicker(controller, this))
    , systemAudio_(new QCheckBox(QStringLiteral("System audio"), this))
{
    setObjectName(QStringLiteral("screenSection"));
    display_->setObjectName(QStringLiteral("displayPicker"));
    quality_->setObjectName(QStringLiteral("screenQualityPicker"));
    microphone_->setObjectName(QStringLiteral("microphoneToggle"));
    systemAudio_->setObjectName(QStringLiteral("systemAudioToggle"));
    QStringList qualities;
    for (ScreenQuality quality : ScreenQualities::allCases)
        qualities << ScreenQualities::rawText(quality);
    quality_->setSegments(qualities);
    quality_->setFixedWidth(170);
    for (QCheckBox* toggle : {microphone_, systemAudio_})
        toggle->setFont(WindowStyle::font(12));

    auto* qualityRow = new QHBoxLayout;
    auto* qualityTitle = new QLabel(QStringLiteral("Quality"), this);
    qualityTitle->setFont(WindowStyle::font(12));
    qualityRow->addWidget(qualityTitle);
    qualityRow->addStretch(1);
    qualityRow->addWidget(quality_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(new SectionTitle(QStringLiteral("Screen"), QStringLiteral("display"), this));
    column->addWidget(display_);
    column->addLayout(qualityRow);
    column->addWidget(microphone_);
    column->addWidget(microphonePicker_);
    column->addWidget(systemAudio_);

    connect(display_, &PickerRow::activated, this, [this](const QVariant& value) {
        controller_.setSelectedDisplayID(value.isValid() ? std::optional<quint32>(value.toUInt()) : std::nullopt);
    });
    connect(quality_, &SegmentedControl::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(ScreenQualities::allCases.size()))
            controller_.setQuality(ScreenQualities::allCases[static_cast<size_t>(index)]);
    });
    connect(microphone_, &QCheckBox::toggled, this, [this](bool on) { controller_.setCaptureMicrophone(on); });
    connect(systemAudio_, &QCheckBox::toggled, this, [this](bool on) { controller_.setCaptureSystemAudio(on); });
    sync();
}

void ScreenSection::sync()
{
    std::vector<PickerRow::Entry> displays;
    for (const DisplayInfo& display : controller_.displays())
        displays.push_back({ScreenChoice::displayName(display), display.displayID});
    const auto selected = controller_.selectedDisplayID();
    display_->setEntries(displays, selected ? QVariant(*selected) : QVariant());
    const auto quality = std::find(ScreenQualities::allCases.begin(), ScreenQualities::allCases.end(), controller_.quality());
    quality_->setCurrentIndex(static_cast<int>(quality - ScreenQualities::allCases.begin()));
    {
        const QSignalBlocker microphoneBlocker(microphone_);
        const QSignalBlocker systemBlocker(systemAudio_);
        microphone_->setChecked(controller_.captureMicrophone());
        systemAudio_->setChecked(controller_.captureSystemAudio());
    }
    microphonePicker_->setVisible(controller_.captureMicrophone());
    microphonePicker_->sync();
    setEnabled(!controller_.phase().isBusy());
}
