#pragma once

#include <QMainWindow>

class QuitGuard;
class RecordingController;

// The one main window. Closing it or choosing Quit goes through the quit guard.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(RecordingController& controller, QuitGuard& quitGuard, QWidget* parent = nullptr);

Q_SIGNALS:
    // Emitted the first time the content is shown; the app runs its start-up task then.
    void contentShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void requestQuit();

    QuitGuard& quitGuard_;
    bool quitApproved_ = false;
};
