#pragma once

#include "takedata/CaptureDeviceInfo.h"

#include <QWidget>

#include <optional>

class ElidedLabel;
class PickerRow;
class RecordingController;
class WarningRow;

// The microphone choice: a pop-up with two or more microphones, else the one name (shortened in its middle
// when wider than the row); below it at most one warning (the preferred receiver is not plugged in, or a
// better microphone is).
class MicrophonePicker : public QWidget {
    Q_OBJECT

public:
    explicit MicrophonePicker(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

    // The listed microphone that ranks best; the first listed among equals. The ranks come from device
    // discovery, where built-in sits alone on its rank, so this is its best microphone too.
    static std::optional<CaptureDeviceInfo> bestMicrophone(const RecordingController& controller);
    // The warning to show, empty for none.
    static QString warning(RecordingController& controller);

private:
    RecordingController& controller_;
    PickerRow* picker_;
    QWidget* plainRow_;
    ElidedLabel* plainName_;
    WarningRow* warning_;
};
