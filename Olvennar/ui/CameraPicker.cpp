#include "ui/CameraPicker.h"

#include "core/RecordingController.h"

#include <QComboBox>

CameraPicker::CameraPicker(RecordingController& controller, QWidget* parent)
    : PickerRow(QStringLiteral("Camera"), 170, parent)
    , controller_(controller)
{
    connect(this, &PickerRow::activated, this, [this](const QVariant& value) {
        std::optional<QString> id; // spelled out: g++ 12 -O3 warns falsely on the conditional form
        if (value.isValid())
            id = value.toString();
        controller_.setSelectedCameraID(id);
    });
}

void CameraPicker::sync()
{
    std::vector<Entry> cameras;
    for (const CaptureDeviceInfo& camera : controller_.cameras())
        cameras.push_back({camera.localizedName, camera.uniqueID});
    const auto& selected = controller_.selectedCameraID();
    setEntries(cameras, selected ? QVariant(*selected) : QVariant());
    // An empty list is said as missing hardware where the camera's name would stand.
    const bool missing = controller_.noCameraDevice();
    popup()->setPlaceholderText(missing ? Permissions::noCameraFound : QString());
    popup()->setEnabled(!cameras.empty());
}
