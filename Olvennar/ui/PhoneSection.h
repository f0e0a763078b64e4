#pragma once

#include <QWidget>

class LabelledSlider;
class PickerRow;
class QCheckBox;
class QLabel;
class RecordingController;
class TitleToggle;

// A phone's screen mirrored over a cable, floated beside the take. Stays usable during a take, except
// the device choice.
class PhoneSection : public QWidget {
    Q_OBJECT

public:
    explicit PhoneSection(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

    static QString waitingText(const RecordingController& controller);

private:
    RecordingController& controller_;
    TitleToggle* enabled_;
    QWidget* waiting_;
    QLabel* waitingText_;
    QWidget* controls_;
    PickerRow* device_;
    LabelledSlider* height_;
    QCheckBox* showsFrame_;
    QLabel* note_;
};
