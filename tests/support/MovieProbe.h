#pragma once

#include <QImage>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <vector>

// Outside checks of written movies: ffprobe's view of the streams, and decoded pictures and sound.
namespace MovieProbe {
// ffprobe -show_streams -show_format as JSON; empty when ffprobe fails.
QJsonObject streams(const QString& path);
// Every picture of the first video stream with its presentation time in seconds; false when unreadable.
bool decodeVideo(const QString& path, const std::function<void(double seconds, const QImage& picture)>& onFrame);
struct Sound {
    double startSeconds = 0; // presentation time of the first decoded sample
    int sampleRate = 0;
    std::vector<float> mono; // channels averaged
};
// The n-th audio stream (0-based among audio streams), decoded.
bool decodeAudio(const QString& path, int audioIndex, Sound& sound);
}
