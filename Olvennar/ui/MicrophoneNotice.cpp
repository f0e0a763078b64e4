#include "ui/MicrophoneNotice.h"

#include "core/RecordingController.h"
#include "ui/MicrophonePicker.h"
#include "ui/PermissionNotice.h"
#include "ui/WarningRow.h"

#include <QVBoxLayout>

MicrophoneNotice::MicrophoneNotice(RecordingController& controller, QWidget* parent)
    : NoticeCard(10, 0, parent)
    , controller_(controller)
    , row_(new WarningRow(this))
{
    setObjectName(QStringLiteral("microphoneNotice"));
    content()->addWidget(row_);
}

bool MicrophoneNotice::isWanted(const RecordingController& controller)
{
    return PermissionNotice::microphoneNeeded(controller) && controller.usingWorseMicrophoneThanAvailable();
}

QString MicrophoneNotice::message(const RecordingController& controller)
{
    const auto best = MicrophonePicker::bestMicrophone(controller);
    return QStringLiteral("Microphone: ") + controller.selectedMicrophoneName().value_or(QStringLiteral("a different device"))
        + QStringLiteral(" — ") + (best ? best->localizedName : QStringLiteral("another input")) + QStringLiteral(" is better. Switch Input.");
}

void MicrophoneNotice::sync()
{
    const bool wanted = isWanted(controller_);
    if (wanted)
        row_->setText(message(controller_));
    setVisible(wanted);
}
