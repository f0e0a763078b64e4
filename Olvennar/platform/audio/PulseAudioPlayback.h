#pragma once

#include "platform/audio/AudioPlayback.h"
#include "platform/audio/PulseStreamHandle.h"

#include <memory>
#include <vector>

struct pa_stream;
struct pa_time_event;
class PulseConnection;

// AudioPlayback on a PulseAudio playback stream of its own connection. Every 10 ms the mainloop thread tops the
// stream up to its short target length from the pull function; the stream never waits for a pre-buffer, so a
// late pull plays silence and the clock runs on. The clock is the stream's interpolated time.
class PulseAudioPlayback final : public AudioPlayback {
public:
    // An empty sink name plays on the default output.
    explicit PulseAudioPlayback(QString streamName, QString sinkName = {});
    ~PulseAudioPlayback() override;
    PulseAudioPlayback(const PulseAudioPlayback&) = delete;
    PulseAudioPlayback& operator=(const PulseAudioPlayback&) = delete;

    std::optional<QString> start(int sampleRate, int channels, Pull pull) override;
    double playedSeconds() const override;
    void stop() override;

private:
    std::optional<QString> open(int sampleRate, int channels, Pull pull);
    void topUp(); // on the mainloop thread

    QString streamName_;
    QString sinkName_;
    int channels_ = 2;
    Pull pull_;
    std::vector<float> buffer_; // mainloop thread
    std::unique_ptr<PulseConnection> connection_;
    PulseStream stream_;
    pa_time_event* timer_ = nullptr;
};
