#pragma once

#include "core/Platform.h"

#include <memory>

class DesktopHooks;
class EvdevHidManagerFactory;
class LinuxTakeServices;
class LinuxAccessProbe;
class MainLoopScheduler;
class PulseSoundPlayer;
class SpeechFollowHub;
class SpeechFollowHubSwitch;
class TeleprompterHandoff;
class TeleprompterWindow;
class XcbGlobalKeyGrabber;

// The real Linux backends of the running studio, owned for the whole run, handed to the controller as one
// Platform bundle. Tests build their own bundle from fakes instead.
class PlatformServices {
public:
    explicit PlatformServices(Settings& settings);
    ~PlatformServices();
    PlatformServices(const PlatformServices&) = delete;
    PlatformServices& operator=(const PlatformServices&) = delete;

    Platform platform();
    LinuxTakeServices& takes() { return *takes_; }
    SpeechFollowHub& speech() { return *speech_; }
    DesktopHooks& hooks() { return *hooks_; }
    TeleprompterWindow& teleprompter() { return *teleprompter_; }

private:
    Settings& settings_;
    std::unique_ptr<LinuxAccessProbe> access_;
    std::unique_ptr<MainLoopScheduler> scheduler_;
    std::unique_ptr<XcbGlobalKeyGrabber> keyGrabber_;
    std::unique_ptr<HotKeyCenter> hotKeys_;
    std::unique_ptr<EvdevHidManagerFactory> hid_;
    std::unique_ptr<RemoteButton> remoteButton_;
    std::unique_ptr<PulseSoundPlayer> sounds_;
    std::unique_ptr<SleepWatcher> sleepWatcher_;
    std::unique_ptr<SpeechFollowHub> speech_;
    std::unique_ptr<SpeechFollowHubSwitch> speechSwitch_;
    std::unique_ptr<TeleprompterWindow> teleprompter_;
    std::unique_ptr<TeleprompterHandoff> teleprompterHandoff_;
    std::unique_ptr<LinuxTakeServices> takes_;
    std::unique_ptr<DesktopHooks> hooks_;
};
