#pragma once

#include <QWidget>

class PickerRow;
class QLabel;
class RecordingController;

// "Save to": a new numbered folder, or one of the channel's project folders (marked when it holds a
// hook), with a refresh button and a hint about take numbering.
class DestinationPicker : public QWidget {
    Q_OBJECT

public:
    explicit DestinationPicker(RecordingController& controller, QWidget* parent = nullptr);

    void sync();
    // The folder's name, followed by " — has a hook" while a "hook.json" lies directly inside it.
    static QString entryText(const QString& folder);

private:
    RecordingController& controller_;
    PickerRow* picker_;
    QLabel* hint_;
};
