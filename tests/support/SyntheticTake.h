#pragma once

#include "platform/media/MediaSample.h"
#include "platform/media/MovieFileType.h"
#include "platform/media/MovieReader.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/MediaTime.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The pieces of a screen take, generated: the screen recording (HEVC with a microphone and a system-sound
// track, written fragmented like a capture), late-starting camera and iPhone movies, plain sound files, and
// the libavformat look-ups the finishing tests check them with.
namespace SyntheticTake {

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
    // Null: a video track that never gets a picture.
    std::function<std::shared_ptr<PixelBuffer>(int width, int height, int frameIndex)> picture = movingNoise;
    // Null: the tones above.
    std::function<std::shared_ptr<AudioBlock>(int track, int64_t firstFrame, int frames)> sound {};
    double bitsPerPixel = 6.0;
    int keyFrameSeconds = 2;
    int audioBitRate = 128000;
};
VideoSettings videoSettingsFor(const MovieRecipe& recipe);
// Writes a whole movie through MovieWriter, feeding tracks interleaved; fails the test on any refusal.
void writeMovie(const QString& path, const MovieRecipe& recipe);
// Opening fails the test with the reader's reason.
std::unique_ptr<MovieReader> openReader(const QString& path);

struct ScreenRecipe {
    int width = 320;
    int height = 180;
    int frameRate = 30;
    double seconds = 2.0;
    double firstFrame = 0.0; // take time of the first picture
    int audioTracks = 2; // 0: none; 1: microphone; 2: microphone and system sound
    double beepAt = 1.0; // the microphone is silent but for a 50 ms beep here
    bool video = true;
    bool pictures = true; // false: a video track that never got a picture
};
// Busy, slowly moving pictures (so rate control has something to spend its bits on); the system-sound
// track is a quiet 660 Hz tone.
void writeScreen(const QString& path, const ScreenRecipe& recipe);

struct OverlayRecipe {
    int width = 160;
    int height = 120;
    int frameRate = 30;
    double start = 0.5; // take time of the first picture; the file opens with an empty edit up to it
    double end = 2.0;
    bool portrait = false;
};
// Every picture is one flat colour whose red channel tells the picture's number (see pictureNumber).
void writeOverlay(const QString& path, const OverlayRecipe& recipe);
// The number of an overlay picture from its colour; -1 when it is no overlay picture.
int pictureNumber(const PixelBuffer& picture, int x, int y);

// AAC-only file (.m4a or .mov) of a tone.
void writeSound(const QString& path, double seconds, MovieFileType type);

struct Packet {
    MediaTime pts;
    MediaTime dts;
    bool keyFrame = false;
    std::vector<uint8_t> bytes;
};
std::vector<Packet> packets(const QString& path, int trackIndex);
std::vector<MediaSample> drain(SampleSource& source);
// The stored packets of one track, as the reader hands them out.
std::vector<MediaSample> packetsOfTrack(const QString& path, int track);
// Decoded pictures of the first video track (BGRA) and the whole mixed sound (48 kHz stereo).
std::vector<MediaSample> pictures(const QString& path);
std::vector<float> sound(const QString& path, double* startSeconds = nullptr);
// Take time of the first stereo frame louder than `threshold`, counted from the sound's start.
double firstLoudTime(const std::vector<float>& samples, double startSeconds, float threshold);
// One ffprobe field of the first stream of a type ("video", "audio").
QString probeField(const QString& path, const QString& type, const QString& field);

// The top-level boxes of a movie file with where each begins, as far as they are whole.
struct TopLevelBoxes {
    std::vector<std::pair<QByteArray, qint64>> boxes; // type, offset
    bool endsWhole = true; // false: the last box runs past the end of the file
};
TopLevelBoxes topLevelBoxesOf(const QByteArray& movie);
// The offset of the first top-level box of this type ("mdat", "moof") at or after byte `from` of a movie
// file; fails the test when there is none.
qint64 boxAfter(const QByteArray& movie, const char* type, qint64 from);
// The movie with `count` random bytes (seeded) written over it from byte `at`: damage a reader must survive.
QByteArray withRandomBytes(QByteArray movie, qint64 at, qint64 count, quint32 seed);

} // namespace SyntheticTake
