#pragma once

#include <QWidget>

class MicrophonePicker;
class RecordingController;

// "Voice only": the microphone and what the mode records. Never locked: the microphone can change mid-take.
class VoiceOnlySection : public QWidget {
    Q_OBJECT

public:
    explicit VoiceOnlySection(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

private:
    MicrophonePicker* microphone_;
};
