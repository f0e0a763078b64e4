#include "ui/MicrophonePicker.h"

#include "core/RecordingController.h"
#include "platform/system/Settings.h"
#include "ui/ElidedLabel.h"
#include "ui/PickerRow.h"
#include "ui/WarningRow.h"
#include "ui/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

MicrophonePicker::MicrophonePicker(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , picker_(new PickerRow(QStringLiteral("Input"), 170, this))
    , plainRow_(new QWidget(this))
    , plainName_(new ElidedLabel(Qt::ElideMiddle, plainRow_))
    , warning_(new WarningRow(this))
{
    setObjectName(QStringLiteral("microphonePicker"));
    picker_->setObjectName(QStringLiteral("inputPicker"));
    plainRow_->setObjectName(QStringLiteral("inputRow"));
    plainName_->setObjectName(QStringLiteral("inputName"));
    warning_->setObjectName(QStringLiteral("microphoneWarning"));
    auto* plain = new QHBoxLayout(plainRow_);
    plain->setContentsMargins(0, 0, 0, 0);
    plain->setSpacing(4);
    auto* caption = new QLabel(QStringLiteral("Input:"), plainRow_);
    caption->setFont(WindowStyle::font(12));
    WindowStyle::setTone(caption, WindowStyle::Tone::secondary);
    // The microphone's name comes from the sound server; it is drawn as it stands.
    plainName_->setFont(WindowStyle::font(12));
    plain->addWidget(caption);
    plain->addWidget(plainName_, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(picker_);
    column->addWidget(plainRow_);
    column->addWidget(warning_);
    connect(picker_, &PickerRow::activated, this, [this](const QVariant& value) {
        controller_.setSelectedMicrophoneID(value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt);
    });
    sync();
}

std::optional<CaptureDeviceInfo> MicrophonePicker::bestMicrophone(const RecordingController& controller)
{
    std::optional<CaptureDeviceInfo> best;
    for (const CaptureDeviceInfo& microphone : controller.microphones()) {
        if (!best || microphone.rank > best->rank)
            best = microphone;
    }
    return best;
}

QString MicrophonePicker::warning(RecordingController& controller)
{
    const auto selectedName = controller.selectedMicrophoneName();
    if (!controller.preferredMicrophone() && !controller.microphones().empty() && selectedName) {
        const QString preferred = controller.platform().settings.stringValue(
            RecordingController::Keys::preferredMicName(), QStringLiteral("Wireless Mic Rx"));
        return preferred + QStringLiteral(" is not plugged in. Recording through ") + *selectedName + QStringLiteral(". ")
            + QStringLiteral("Plug the receiver into the computer, it is picked automatically.");
    }
    if (controller.usingWorseMicrophoneThanAvailable()) {
        const auto best = bestMicrophone(controller);
        return QStringLiteral("Recording through ") + selectedName.value_or(QStringLiteral("a different device")) + QStringLiteral(". ")
            + (best ? best->localizedName : QStringLiteral("Another input")) + QStringLiteral(" is attached and is better — ")
            + QStringLiteral("switch Input above. Bluetooth mics drop to ~16 kHz mono when recording.");
    }
    return {};
}

void MicrophonePicker::sync()
{
    const auto& microphones = controller_.microphones();
    const auto selectedName = controller_.selectedMicrophoneName();
    const bool choosable = microphones.size() >= 2;
    if (choosable) {
        std::vector<PickerRow::Entry> entries;
        for (const CaptureDeviceInfo& microphone : microphones)
            entries.push_back({microphone.localizedName, microphone.uniqueID});
        const auto& selected = controller_.selectedMicrophoneID();
        picker_->setEntries(entries, selected ? QVariant(*selected) : QVariant());
    }
    picker_->setVisible(choosable);
    plainRow_->setVisible(!choosable && selectedName.has_value());
    plainName_->setText(selectedName.value_or(QString()));
    const QString text = warning(controller_);
    warning_->setText(text);
    warning_->setVisible(!text.isEmpty());
}
