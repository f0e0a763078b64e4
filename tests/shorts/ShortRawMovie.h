#pragma once

#include <QImage>
#include <QString>

// Raw short takes as a camera-only recorder writes them: H.264 pictures and mono AAC sound. Every picture
// carries its frame number as the colour of a large centre block; the first picture of every whole second is
// white (a flash, unless switched off) and a 1 kHz tone sounds for 0.1 s from every whole second.
namespace ShortRawMovie {

struct Recipe {
    int width = 192;
    int height = 108;
    int frameRate = 30;
    double seconds = 2.0;
    bool sound = true;
    bool video = true;
    bool busy = false; // fine moving noise around the block, so rate control has bits to spend
    bool flashes = true;
    double pictureSeconds = -1; // pictures stop here while the sound goes on to `seconds`; below 0: they do not
    double soundSeconds = -1; // the sound stops here while the pictures go on; below 0: it does not
};
void write(const QString& path, const Recipe& recipe);

// A raw whose camera changed its picture size mid-take: `first` for `firstSeconds`, then `then` up to `seconds`,
// with a steady tone all through; made by the ffmpeg tool. False when the tool could not make it.
bool writeResized(const QString& path, QSize first, double firstSeconds, QSize then, double seconds);

// The frame number, modulo 64, that a decoded picture's centre shows.
int frameNumber(const QImage& picture);
// A flash picture: almost white on average.
bool isFlash(const QImage& picture);

} // namespace ShortRawMovie
