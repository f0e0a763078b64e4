#pragma once

#include <QWidget>

class LabelledSlider;
class PickerRow;
class QCheckBox;
class QLabel;
class RecordingController;
class SegmentedRow;
class StudioLayoutPreview;

// "Motion": how a screen take will look once finished — the look, and for the studio look the face card,
// backdrop, automatic layout, grade and a live export preview; then zoom, clicks, cursor and countdown.
// Every control writes one controller value; the whole section is dimmed while the studio is busy.
class MotionSection : public QWidget {
    Q_OBJECT

public:
    explicit MotionSection(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

    // The explanation under the layout pickers.
    static QString layoutHelp(const RecordingController& controller);
    static QString zoomHint(const RecordingController& controller);
    static QString clicksHint(const RecordingController& controller);

    StudioLayoutPreview* preview() const { return preview_; }

private:
    RecordingController& controller_;
    SegmentedRow* look_;
    QWidget* studio_;
    SegmentedRow* face_;
    PickerRow* background_;
    SegmentedRow* layout_;
    QLabel* layoutHelp_;
    StudioLayoutPreview* preview_;
    QCheckBox* grade_;
    QCheckBox* focusedWindow_;
    QCheckBox* export4K_;
    SegmentedRow* zoom_;
    QWidget* zoomDetails_;
    LabelledSlider* zoomAmount_;
    QLabel* zoomHint_;
    QCheckBox* clickHighlight_;
    QCheckBox* ownCursor_;
    SegmentedRow* countdown_;
    QLabel* clicksHint_;
};
