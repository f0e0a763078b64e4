#pragma once

#include <QWidget>

class CameraPicker;
class CheckFramingRow;
class LabelledSlider;
class PickerRow;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class RecordingController;
class SegmentedControl;
class TitleToggle;
struct WindowActions;

// The floating camera bubble of a screen take. Stays usable during a take, except the camera choice.
class CameraSection : public QWidget {
    Q_OBJECT

public:
    CameraSection(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    void sync();

    static QString explanation(const RecordingController& controller);
    static QString framingHelp(const RecordingController& controller);

private:
    RecordingController& controller_;
    TitleToggle* enabled_;
    QWidget* controls_;
    CameraPicker* camera_;
    QWidget* shapeRow_;
    SegmentedControl* shape_;
    LabelledSlider* size_;
    QCheckBox* mirror_;
    QLabel* explanation_;
    QCheckBox* framingTips_;
    CheckFramingRow* checkFraming_;
};
