#pragma once

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

// Outside checks of written movies: ffprobe's view of the streams, and decoded pictures and sound.
namespace MovieProbe {
// ffprobe -show_streams -show_format (and -show_packets when asked) as JSON; empty when ffprobe fails.
QJsonObject streams(const QString& path, bool packets = false);
QJsonArray streamsOfType(const QJsonObject& probe, const QString& type);
std::vector<QJsonObject> packetsOf(const QJsonObject& probe, int streamIndex);
// A field as a number whether ffprobe wrote it as a number or as a string.
double number(const QJsonObject& object, const QString& key);
// The movie's length as ffprobe gives it (its format's duration), in seconds.
double durationSeconds(const QString& path);
// Each named field equals its expected text (numbers compared as their shortest decimal form).
void expectFields(const QJsonObject& object, const std::vector<std::pair<QString, QString>>& expected);
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
