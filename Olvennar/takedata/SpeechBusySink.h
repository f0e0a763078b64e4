#pragma once

// Told on every phase change whether the studio is busy (filming or finishing): while busy the speech hub
// stops listening through its own input and takes the microphone from the running recorder.
class SpeechBusySink {
public:
    virtual ~SpeechBusySink() = default;
    virtual void setBusy(bool busy) = 0;
};
