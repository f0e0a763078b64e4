#include "app/PlatformServices.h"

#include "app/DesktopWindows.h"
#include "app/LinuxTakeServices.h"
#include "app/StudioTakeKinds.h"
#include "capture/RemoteButton.h"
#include "core/HotKeyCenter.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseSoundPlayer.h"
#include "platform/input/EvdevHidManager.h"
#include "platform/speech/PocketSphinxRecognizer.h"
#include "platform/system/LinuxAccessProbe.h"
#include "platform/system/Scheduler.h"
#include "platform/system/SleepWatcher.h"
#include "platform/system/SteadyTimer.h"
#include "platform/x11/XcbGlobalKeyGrabber.h"
#include "teleprompter/SpeechFollowHub.h"
#include "teleprompter/SpeechFollowHubSwitch.h"
#include "app/TeleprompterHandoff.h"
#include "ui/AccessInstructionDialog.h"
#include "ui/DesktopHooks.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QApplication>

PlatformServices::PlatformServices(Settings& settings)
    : settings_(settings)
    , access_(std::make_unique<LinuxAccessProbe>())
    , scheduler_(std::make_unique<MainLoopScheduler>())
    , keyGrabber_(XcbGlobalKeyGrabber::create())
    , hotKeys_(std::make_unique<HotKeyCenter>(keyGrabber_.get()))
    , hid_(std::make_unique<EvdevHidManagerFactory>())
    , remoteButton_(std::make_unique<RemoteButton>(settings, *hid_, *access_, *scheduler_))
    , sounds_(std::make_unique<PulseSoundPlayer>())
    , sleepWatcher_(std::make_unique<SleepWatcher>())
    , speech_(std::make_unique<SpeechFollowHub>(SpeechFollowHub::Services{
          std::make_unique<PocketSphinxRecognizer>(), std::make_unique<PulseAudioCapture>(), std::make_unique<SteadyTimer>("speech.timer"), access_.get()}))
    , speechSwitch_(std::make_unique<SpeechFollowHubSwitch>(*speech_))
    , teleprompter_(std::make_unique<TeleprompterWindow>(settings, speechSwitch_.get()))
    , teleprompterHandoff_(std::make_unique<TeleprompterHandoff>(*teleprompter_))
    , takes_(std::make_unique<LinuxTakeServices>())
    , hooks_(std::make_unique<DesktopHooks>())
{
    access_->instructionView = [](const QString& pane) { AccessInstructionDialog::open(pane, QApplication::activeWindow()); };
    // The one hub hears every recorder's microphone.
    takes_->setSpeechSink(speech_.get());
    takes_->ignoreHotKeys(keyGrabber_.get());
}

PlatformServices::~PlatformServices() = default;

Platform PlatformServices::platform()
{
    Platform platform{settings_, *access_};
    platform.speechBusy = speech_.get();
    platform.hotKeys = hotKeys_.get();
    platform.remoteButton = remoteButton_.get();
    platform.sounds = sounds_.get();
    platform.sleepWatcher = sleepWatcher_.get();
    platform.scheduler = scheduler_.get();
    platform.takes = takes_.get();
    platform.hooks = hooks_.get();
    platform.teleprompter = teleprompter_.get();
    platform.prompter = teleprompterHandoff_.get();
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    return platform;
}
