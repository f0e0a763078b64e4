#pragma once

class AccessProbe;
class Settings;

// The platform services the controller reaches, injected once: the real Linux backends in the app,
// deterministic fakes in tests. Later services join this bundle as they arrive.
struct Platform {
    Settings& settings;
    AccessProbe& access;
};
