#pragma once

#include "core/QuitGuard.h"

#include <QObject>

#include <cstdint>
#include <memory>

#include <qcorotask.h>

class MainWindow;
class PlatformServices;
class RecordingController;
class Settings;
class ShortPreviewSources;
class ShortWindows;
class StudioEnd;

// The application: the quit guard and the studio's end, the one controller (made when the window first
// needs it) and the one main window.
class FestrinApp : public QObject {
    Q_OBJECT

public:
    explicit FestrinApp(Settings& settings);
    ~FestrinApp() override;

    void showMainWindow();
    // Shows the window, restored if minimised, above the others and focused.
    void bringForward();
    RecordingController& controller();
    QuitGuard& quitGuard() { return quitGuard_; }
    // A termination signal from the system (QuitSignals): the studio ends keeping its takes.
    void signalled(int number, std::int64_t receivedAt);

private:
    QCoro::Task<> startUp();

    std::unique_ptr<PlatformServices> services_;
    QuitGuard quitGuard_;
    std::unique_ptr<RecordingController> controller_;
    std::unique_ptr<StudioEnd> end_;
    std::unique_ptr<ShortPreviewSources> shortSources_;
    std::unique_ptr<ShortWindows> shortWindows_; // goes before the controller: its windows read it
    std::unique_ptr<MainWindow> window_;
};
