#pragma once

#include <QWidget>

class MicrophonePicker;
class PickerRow;
class QCheckBox;
class RecordingController;
class SegmentedControl;

// What a screen take captures: display, quality cap, microphone and system audio. Locked while busy.
class ScreenSection : public QWidget {
    Q_OBJECT

public:
    explicit ScreenSection(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

private:
    RecordingController& controller_;
    PickerRow* display_;
    SegmentedControl* quality_;
    QCheckBox* microphone_;
    MicrophonePicker* microphonePicker_;
    QCheckBox* systemAudio_;
};
