#pragma once

class AccessProbe;
class ControllerHooks;
class Settings;
class SpeechBusySink;

// The platform services the controller reaches, injected once: the real Linux backends in the app,
// deterministic fakes in tests. Later services join this bundle as they arrive.
struct Platform {
    Settings& settings;
    AccessProbe& access;
    // The speech hub's busy flag; none until the hub exists.
    SpeechBusySink* speechBusy = nullptr;
    // Panels, framing routing and camera-only recorder reactions; none runs no reaction.
    ControllerHooks* hooks = nullptr;
};
