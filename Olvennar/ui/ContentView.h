#pragma once

#include <QWidget>

class RecordingController;

// The main window's content, 400 wide, sized by what it holds.
class ContentView : public QWidget {
    Q_OBJECT

public:
    explicit ContentView(RecordingController& controller, QWidget* parent = nullptr);

    static constexpr int contentWidth = 400;

private:
    RecordingController& controller_;
};
