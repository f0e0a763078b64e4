#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>

#include <qcorotask.h>

class CameraOnlyRecorder;
class CameraOnlyPreview;
struct CaptureDeviceInfo;
class PixelBuffer;

// When a cold camera is ready to film. V4L2 does not say whether a camera still adjusts its exposure, so the
// picture tells: a camera has settled once the mean luma of its last three frames varies by less than 2 %.
namespace CameraWarmUp {

constexpr double longestSeconds = 3.0;
constexpr double shortestSeconds = 1.2;
constexpr double pollSeconds = 0.1;
constexpr double settledSpread = 0.02;

// Mean Rec. 709 luma (0...1) of a BGRA picture, sampled on a sparse grid.
double meanLuma(const PixelBuffer& frame);
// The last three readings (oldest first) lie within 2 % of the brightest; false with fewer than three.
bool settled(const std::deque<double>& lastReadings);

// Waits until the recorder's camera settled (at least 1.2 s, at most 3 s, in 0.1 s steps). False when
// `owner` went meanwhile. `area` begins the log line.
QCoro::Task<bool> waitUntilSettled(CameraOnlyRecorder& recorder, QPointer<QObject> owner, QString area);

// Waits up to `seconds` (in 0.1 s steps) until the recorder's stream delivers frames. False when none came
// or `owner` went meanwhile.
QCoro::Task<bool> waitForFrames(CameraOnlyRecorder& recorder, QPointer<QObject> owner, double seconds);

// Brings the camera-only preview up on a cold camera and waits until it settled (at least 1.2 s, at most
// 3 s, in 0.1 s steps); at once when the preview already runs on it. False when `owner` went meanwhile.
// `area` begins the log line.
QCoro::Task<bool> warmUp(CameraOnlyPreview& preview, CaptureDeviceInfo camera, QPointer<QObject> owner, QString area);

} // namespace CameraWarmUp
