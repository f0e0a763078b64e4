#pragma once

#include "platform/media/MediaSample.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieReader.h"
#include "platform/media/MovieWriter.h"
#include "support/MovieProbe.h"

#include <QString>
#include <QStringList>

#include <functional>

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
    std::shared_ptr<PixelBuffer> (*picture)(int width, int height, int frameIndex) = movingNoise;
};
VideoSettings videoSettingsFor(const MovieRecipe& recipe);
// Writes a whole movie through MovieWriter, feeding tracks interleaved; fails the test on any refusal.
void writeMovie(const QString& path, const MovieRecipe& recipe);

// ffprobe's view of the file.
using MovieProbe::number;
using MovieProbe::packetsOf;
using MovieProbe::streamsOfType;
inline QJsonObject probe(const QString& path, bool packets = false) { return MovieProbe::streams(path, packets); }

// Opening fails the test with the reader's reason.
std::unique_ptr<MovieReader> openReader(const QString& path);
MovieAsset assetOf(const QString& path);
std::vector<MediaSample> drain(SampleSource& source);
// The stored packets of one track, as the reader hands them out.
std::vector<MediaSample> packetsOfTrack(const QString& path, int track);
// Hidden siblings (".name-…") left in a folder.
QStringList hiddenFiles(const QString& folder);
void writeText(const QString& path, const QByteArray& text);
QByteArray readText(const QString& path);

} // namespace MediaTestSupport
