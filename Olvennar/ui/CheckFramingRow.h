#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class RecordingController;
struct WindowActions;

// "Check framing" with its note; the tooltip over the row is set by the section that shows it.
class CheckFramingRow : public QWidget {
    Q_OBJECT

public:
    CheckFramingRow(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    void sync();
    void setHelp(const QString& help);

private:
    RecordingController& controller_;
    QPushButton* button_;
    QLabel* note_;
};
