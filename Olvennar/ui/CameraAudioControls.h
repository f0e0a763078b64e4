#pragma once

#include <QWidget>

class MicrophonePicker;
class QWidget;
class RecordingController;
class SegmentedControl;

// Camera quality, microphone and the always-off system audio of the camera-only modes.
class CameraAudioControls : public QWidget {
    Q_OBJECT

public:
    explicit CameraAudioControls(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

private:
    RecordingController& controller_;
    QWidget* qualityPicker_;
    SegmentedControl* quality_;
    QWidget* fixedQuality_;
    MicrophonePicker* microphone_;
};
