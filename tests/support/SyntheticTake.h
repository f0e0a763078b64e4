#pragma once

#include "platform/media/MediaSample.h"
#include "platform/media/MovieFileType.h"
#include "platform/system/MediaTime.h"

#include <QString>

#include <vector>

// The pieces of a screen take, generated: the screen recording (HEVC with a microphone and a system-sound
// track, written fragmented like a capture), late-starting camera and iPhone movies, plain sound files, and
// the libavformat look-ups the finishing tests check them with.
namespace SyntheticTake {

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
// Decoded pictures of the first video track (BGRA) and the whole mixed sound (48 kHz stereo).
std::vector<MediaSample> pictures(const QString& path);
std::vector<float> sound(const QString& path, double* startSeconds = nullptr);
// Take time of the first stereo frame louder than `threshold`, counted from the sound's start.
double firstLoudTime(const std::vector<float>& samples, double startSeconds, float threshold);
// One ffprobe field of the first stream of a type ("video", "audio").
QString probeField(const QString& path, const QString& type, const QString& field);

} // namespace SyntheticTake
