#pragma once

#include "ui/PickerRow.h"

class RecordingController;

// "Camera": the listed cameras by name, bound to the selected camera.
class CameraPicker : public PickerRow {
    Q_OBJECT

public:
    explicit CameraPicker(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

private:
    RecordingController& controller_;
};
