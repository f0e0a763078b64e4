#pragma once

#include "core/QuitGuard.h"

#include <QObject>

#include <memory>

#include <qcorotask.h>

class AccessProbe;
class MainWindow;
class RecordingController;
class Settings;

// The application: the quit guard, the one controller (made when the window first needs it) and the one
// main window.
class FestrinApp : public QObject {
    Q_OBJECT

public:
    FestrinApp(Settings& settings, AccessProbe& access);
    ~FestrinApp() override;

    void showMainWindow();
    RecordingController& controller();
    QuitGuard& quitGuard() { return quitGuard_; }

private:
    QCoro::Task<> startUp();

    Settings& settings_;
    AccessProbe& access_;
    QuitGuard quitGuard_;
    std::unique_ptr<RecordingController> controller_;
    std::unique_ptr<MainWindow> window_;
};
