#pragma once

#include "platform/media/MediaSample.h"
#include "platform/media/MovieWriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <vector>

// Synthetic media and outside checks shared by the media tests.
namespace MediaTestSupport {

// A fixed noise texture shifted a little every frame: costly enough for rate control, no scene cuts.
std::shared_ptr<PixelBuffer> movingNoise(int width, int height, int frameIndex);
// A sine tone block starting at `firstFrame` (so consecutive blocks join seamlessly).
std::shared_ptr<AudioBlock> tone(int sampleRate, int channels, int frames, int64_t firstFrame, double hertz = 440.0, float amplitude = 0.5f);

struct MovieRecipe {
    VideoSettings::Codec codec = VideoSettings::Codec::h264;
    int width = 320;
    int height = 180;
    int frameRate = 30;
    double seconds = 2.0;
    double videoStart = 0.0; // take time of the first picture
    int audioTracks = 1;
    int audioChannels = 2;
    int audioRate = 48000;
    double audioStart = 0.0;
    float audioAmplitude = 0.5f;
    bool sameToneOnEveryTrack = false; // else track n plays 440 × (n + 1) Hz
    MovieWriteMode mode = MovieWriteMode::finishing;
    MovieFileType type = MovieFileType::quickTimeMovie;
    bool video = true;
};
VideoSettings videoSettingsFor(const MovieRecipe& recipe);
// Writes a whole movie through MovieWriter, feeding tracks interleaved; fails the test on any refusal.
void writeMovie(const QString& path, const MovieRecipe& recipe);

// ffprobe's JSON for the file (streams and format; packets when asked).
QJsonObject probe(const QString& path, bool packets = false);
QJsonArray streamsOfType(const QJsonObject& probe, const QString& type);
std::vector<QJsonObject> packetsOf(const QJsonObject& probe, int streamIndex);

} // namespace MediaTestSupport
