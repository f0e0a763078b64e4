#pragma once

#include "capture/PictureArea.h"
#include "capture/PointerLog.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QRectF>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class DisplayPicture;
class FrontWindowSource;
class InputEvents;
class PointerState;
class QTimer;
class RecordingClock;

// Samples the pointer, the cursor kind, key presses and the front window of a screen take 60 times a
// second on the main thread, and keeps the manual zoom marks; hands everything over as one PointerLog.
class PointerTracker : public QObject {
public:
    static constexpr std::int64_t periodNanoseconds = 16'666'667;
    static constexpr int maximumKeysPerTick = 20;
    // The cursor's shape is looked at every this many ticks.
    static constexpr int shapeEvery = 6;

    PointerTracker(InputEvents& input, PointerState& pointer, FrontWindowSource& windows, QObject* parent = nullptr);
    ~PointerTracker() override;

    // Starts sampling at once and then every period; keeps the records (reset() clears them).
    void start(std::shared_ptr<RecordingClock> clock, const QRectF& captureRect);
    // The same for a picture that follows its display: every tick and mark is measured where it lies then.
    void start(std::shared_ptr<RecordingClock> clock, std::shared_ptr<DisplayPicture> picture);
    void stop();
    bool isRunning() const;
    void reset();

    // One sampling step against the given clock and capture rectangle (desktop coordinates, origin
    // bottom-left).
    void poll(const std::shared_ptr<RecordingClock>& clock, const QRectF& captureRect);
    // The same against where the take's picture lies.
    void poll(const std::shared_ptr<RecordingClock>& clock, const PictureArea& area);

    // A manual zoom mark at the pointer's position now.
    void addMark(bool zoomIn);
    std::size_t markCount() const;

    // Everything recorded, with the resting place of a pointer that has not moved since its last sample.
    PointerLog log(bool systemCursorInCapture) const;

private:
    void timerFired();

    InputEvents& input_;
    PointerState& pointer_;
    FrontWindowSource& windows_;
    QTimer* timer_;
    QElapsedTimer timerBase_;
    std::int64_t ticksScheduled_ = 0;

    mutable std::mutex lock_;
    PointerLog::Records samples_;
    PointerLog::Records shapes_;
    std::vector<double> keys_;
    PointerLog::Records marks_;
    PointerLog::Records windowRecords_;

    std::optional<QPointF> lastPoint_;
    std::optional<double> lastPollTime_;
    bool stillSinceLastSample_ = false;
    std::vector<double> lastShape_;
    std::vector<double> lastWindow_;
    std::optional<std::uint32_t> lastKeyCount_;
    int tick_ = 0;
    std::shared_ptr<RecordingClock> clock_;
    std::shared_ptr<DisplayPicture> picture_;
};
