#pragma once

#include <QWidget>

class CameraAudioControls;
class CameraPicker;
class CheckFramingRow;
class QCheckBox;
class RecordingController;
struct WindowActions;

// "Just me": the camera, its quality and sound, mirroring and the framing check. Locked whole while the
// studio is busy.
class CameraOnlySection : public QWidget {
    Q_OBJECT

public:
    CameraOnlySection(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    void sync();

    static QString framingHelp();

private:
    RecordingController& controller_;
    CameraPicker* camera_;
    CameraAudioControls* audio_;
    QCheckBox* mirror_;
    CheckFramingRow* checkFraming_;
};
