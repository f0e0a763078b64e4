#pragma once

#include <QWidget>

class CameraAudioControls;
class CameraPicker;
class ElidedLabel;
class QCheckBox;
class QLabel;
class QPushButton;
class RecordingController;
struct WindowActions;

// "Short (9:16)": the camera, its quality and sound, the two mirror choices, the handed-off script, the
// frame window and the newest short. From the countdown until the take is done the camera, sound, mirrors
// and "Not this one" are locked; the frame button never is, "Last take" only while filming.
class ShortSection : public QWidget {
    Q_OBJECT

public:
    ShortSection(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    void sync();

    // "Script: <id>" and " · <title>" when the title is not empty.
    static QString scriptText(const QString& scriptID, const QString& title);
    static QString lowerNote(bool locked);

private:
    RecordingController& controller_;
    WindowActions& actions_;
    CameraPicker* camera_;
    CameraAudioControls* audio_;
    QCheckBox* mirrorPreview_;
    QCheckBox* mirrorFile_;
    QWidget* scriptCard_;
    ElidedLabel* script_;
    QPushButton* notThisOne_;
    QPushButton* frame_;
    QPushButton* lastTake_;
    QLabel* framing_;
    QLabel* note_;
};
