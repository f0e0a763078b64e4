#pragma once

#include <QWidget>

class DestinationPicker;
class QLabel;
class RecordingController;
class SaveLocationRow;
class SegmentedControl;
struct WindowActions;

// What the next take is and where it goes: capture mode, recordings folder and project folder.
// Locked while a take runs or is being finished.
class ModeSection : public QWidget {
    Q_OBJECT

public:
    ModeSection(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    void sync();

private:
    RecordingController& controller_;
    SegmentedControl* mode_;
    SaveLocationRow* saveLocation_;
    DestinationPicker* destination_;
    QLabel* shortNote_;
    QLabel* cameraOnlyNote_;
};
