#pragma once

class AccessProbe;
class HotKeyCenter;
class RemoteButton;
class Scheduler;
class SleepWatcher;
class SoundPlayer;
class TeleprompterStepper;
class ZoomMarker;
class ControllerHooks;
class HandoffPrompter;
class Settings;
class SpeechBusySink;
class StudioWindows;
class TakeServices;
struct TakeKinds;

// The platform services the controller reaches, injected once: the real Linux backends in the app,
// deterministic fakes in tests. Later services join this bundle as they arrive.
struct Platform {
    Settings& settings;
    AccessProbe& access;
    // The speech hub's busy flag; none until the hub exists.
    SpeechBusySink* speechBusy = nullptr;
    // Panels, framing routing and camera-only recorder reactions; none runs no reaction.
    ControllerHooks* hooks = nullptr;
    // Global hot keys, the learned clicker, feedback sounds and wake notices; none: not wired.
    HotKeyCenter* hotKeys = nullptr;
    RemoteButton* remoteButton = nullptr;
    SoundPlayer* sounds = nullptr;
    SleepWatcher* sleepWatcher = nullptr;
    // Delays of the remote reactions (re-arm after wake); none: the main loop's own timers.
    Scheduler* scheduler = nullptr;
    // The pointer tracker's zoom marks and the teleprompter's box stepping.
    ZoomMarker* zoomMarker = nullptr;
    TeleprompterStepper* teleprompter = nullptr;
    // The teleprompter model and panel as a long-form handoff drives them; none: the script is only read.
    HandoffPrompter* prompter = nullptr;
    // Displays, capture devices, recorders and the finish queue of screen takes; none: no take can start.
    TakeServices* takes = nullptr;
    // The take kinds by capture mode; none: no mode can record.
    const TakeKinds* kinds = nullptr;
    // The windows the studio opens (the countdown, "Check framing"); none opens none and counts no numbers.
    StudioWindows* windows = nullptr;
};
