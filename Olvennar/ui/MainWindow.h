#pragma once

#include <QMainWindow>

class ContentView;
class QuitGuard;
class RecordingController;

// The one main window. Closing it or choosing Quit goes through the quit guard, which ends the studio once
// it agreed.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(RecordingController& controller, QuitGuard& quitGuard, QWidget* parent = nullptr);

    // Where other areas place their sections.
    ContentView* content() const { return content_; }

Q_SIGNALS:
    // Emitted the first time the content is shown; the app runs its start-up task then.
    void contentShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void requestQuit();

    QuitGuard& quitGuard_;
    ContentView* content_;
};
