#pragma once

#include <QWidget>

class ElidedLabel;
class RecordingController;
struct WindowActions;

// The recordings folder on one line (home as "~", middle elided), "Change…" and a file-manager button.
class SaveLocationRow : public QWidget {
    Q_OBJECT

public:
    SaveLocationRow(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    // Reads the folder again; it is a setting, not a published value, so the row asks each time.
    void sync();
    QString shownPath() const;

private:
    void change();

    RecordingController& controller_;
    WindowActions& actions_;
    ElidedLabel* path_;
};
