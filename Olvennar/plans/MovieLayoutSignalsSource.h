#pragma once

#include "plans/LayoutSignalsMovieSource.h"

#include <QString>

// Reads the layout signals' inputs from a movie file: the first video track's stored packets and the
// first audio track decoded to mono 8000 Hz. Each read opens its own reader.
class MovieLayoutSignalsSource : public LayoutSignalsMovieSource {
public:
    explicit MovieLayoutSignalsSource(QString path);

    std::optional<double> duration() override;
    bool readVideoPackets(const std::function<void(const Packet&)>& sink) override;
    bool readSpeechAudio(const std::function<void(const float* samples, size_t count)>& sink) override;

private:
    QString path_;
};
