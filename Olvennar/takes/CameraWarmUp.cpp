#include "takes/CameraWarmUp.h"

#include "capture/CameraOnlyRecorder.h"
#include "platform/media/PixelBuffer.h"
#include "platform/system/Diagnostics.h"
#include "takedata/CameraFrameTap.h"
#include "takes/CameraOnlyPreview.h"
#include "takedata/CaptureDeviceInfo.h"

#include <QElapsedTimer>

#include <qcorotimer.h>

#include <chrono>

#include <algorithm>

namespace CameraWarmUp {

double meanLuma(const PixelBuffer& frame)
{
    if (frame.isEmpty())
        return 0;
    // About 64 × 36 samples whatever the size: enough to see an exposure change, cheap on the main thread.
    const int stepX = std::max(1, frame.width() / 64);
    const int stepY = std::max(1, frame.height() / 36);
    double sum = 0;
    long count = 0;
    for (int y = stepY / 2; y < frame.height(); y += stepY) {
        const uint8_t* row = frame.row(y);
        for (int x = stepX / 2; x < frame.width(); x += stepX) {
            const uint8_t* pixel = row + static_cast<size_t>(x) * PixelBuffer::bytesPerPixel;
            sum += 0.0722 * pixel[0] + 0.7152 * pixel[1] + 0.2126 * pixel[2];
            ++count;
        }
    }
    return count ? sum / count / 255.0 : 0;
}

bool settled(const std::deque<double>& lastReadings)
{
    if (lastReadings.size() < 3)
        return false;
    const auto [low, high] = std::minmax_element(lastReadings.end() - 3, lastReadings.end());
    if (*high <= 0)
        return true; // a black picture does not change any more either
    return (*high - *low) / *high < settledSpread;
}

QCoro::Task<bool> waitUntilSettled(CameraOnlyRecorder& recorder, QPointer<QObject> owner, QString area)
{
    QElapsedTimer since;
    since.start();
    std::deque<double> readings;
    std::shared_ptr<const PixelBuffer> seen;
    while (since.elapsed() < longestSeconds * 1000) {
        QCoro::Task<> sleeping = QCoro::sleepFor(std::chrono::milliseconds(static_cast<int>(pollSeconds * 1000)));
        co_await std::move(sleeping);
        if (!owner)
            co_return false;
        // Only new frames count as readings.
        if (auto frame = recorder.frameTap()->newest(); frame && frame != seen) {
            seen = frame;
            readings.push_back(meanLuma(*frame));
            if (readings.size() > 3)
                readings.pop_front();
        }
        if (since.elapsed() > shortestSeconds * 1000 && settled(readings))
            break;
    }
    Diagnostics::log(area + QStringLiteral(": cold camera warmed up for %1 s before Record").arg(since.elapsed() / 1000.0, 0, 'f', 1));
    co_return true;
}

QCoro::Task<bool> waitForFrames(CameraOnlyRecorder& recorder, QPointer<QObject> owner, double seconds)
{
    QElapsedTimer since;
    since.start();
    while (!recorder.isDelivering() && since.elapsed() < seconds * 1000) {
        QCoro::Task<> sleeping = QCoro::sleepFor(std::chrono::milliseconds(static_cast<int>(pollSeconds * 1000)));
        co_await std::move(sleeping);
        if (!owner)
            co_return false;
    }
    co_return owner && recorder.isDelivering();
}

QCoro::Task<bool> warmUp(CameraOnlyPreview& preview, CaptureDeviceInfo camera, QPointer<QObject> owner, QString area)
{
    if (preview.isWarm(camera.uniqueID))
        co_return true;
    preview.startPreview(camera);
    QCoro::Task<bool> settling = waitUntilSettled(*preview.recorder(), owner, area);
    co_return co_await std::move(settling);
}

} // namespace CameraWarmUp
