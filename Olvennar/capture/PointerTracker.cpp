#include "capture/PointerTracker.h"

#include "capture/CursorShapes.h"
#include "capture/DisplayPicture.h"
#include "platform/input/FrontWindowSource.h"
#include "platform/input/InputEvents.h"
#include "platform/input/PointerState.h"
#include "takedata/RecordingClock.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr double stillDistance = 0.00001;
constexpr int windowEvery = 12;
constexpr int windowOffset = 3;

} // namespace

PointerTracker::PointerTracker(InputEvents& input, PointerState& pointer, FrontWindowSource& windows, QObject* parent)
    : QObject(parent), input_(input), pointer_(pointer), windows_(windows), timer_(new QTimer(this))
{
    // Each tick is scheduled against the start time, so 60 Hz holds on average although the timer counts
    // whole milliseconds.
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, this, [this] { timerFired(); });
}

PointerTracker::~PointerTracker() = default;

void PointerTracker::start(std::shared_ptr<RecordingClock> clock, const QRectF& captureRect)
{
    start(std::move(clock), std::make_shared<DisplayPicture>(captureRect));
}

void PointerTracker::start(std::shared_ptr<RecordingClock> clock, std::shared_ptr<DisplayPicture> picture)
{
    timer_->stop();
    clock_ = std::move(clock);
    picture_ = std::move(picture);
    ticksScheduled_ = 0;
    timerBase_.start();
    timer_->start(0);
}

void PointerTracker::stop() { timer_->stop(); }

bool PointerTracker::isRunning() const { return timer_->isActive(); }

void PointerTracker::timerFired()
{
    if (picture_)
        poll(clock_, picture_->area());
    // A main thread that was busy for several periods does not get the missed ticks in a burst.
    const std::int64_t elapsed = timerBase_.nsecsElapsed();
    ticksScheduled_ = std::max(ticksScheduled_ + 1, elapsed / periodNanoseconds + 1);
    const std::int64_t remaining = ticksScheduled_ * periodNanoseconds - elapsed;
    timer_->start(static_cast<int>(std::max<std::int64_t>(0, (remaining + 999'999) / 1'000'000)));
}

void PointerTracker::reset()
{
    std::lock_guard guard(lock_);
    samples_.clear();
    shapes_.clear();
    keys_.clear();
    marks_.clear();
    windowRecords_.clear();
    lastShape_.clear();
    lastWindow_.clear();
    lastPoint_.reset();
    lastPollTime_.reset();
    lastKeyCount_.reset();
    stillSinceLastSample_ = false;
    tick_ = 0;
}

void PointerTracker::poll(const std::shared_ptr<RecordingClock>& clock, const QRectF& captureRect)
{
    poll(clock, PictureArea::of(captureRect));
}

void PointerTracker::poll(const std::shared_ptr<RecordingClock>& clock, const PictureArea& area)
{
    if (!area.hasArea())
        return;
    const std::uint32_t keyCount = input_.keyDownCount();
    // No count before: no presses. value_or reads the count only when there is one; an optimised
    // `has_value() && *count` may test the unset count first, which memcheck reports.
    const std::uint32_t previousKeyCount = lastKeyCount_.value_or(keyCount);
    lastKeyCount_ = keyCount;

    const std::optional<double> time = clock ? clock->nowSeconds() : std::nullopt;
    if (!time)
        return; // presses of this tick are lost: nothing is filmed yet
    const double t = *time;
    const std::optional<QPointF> location = pointer_.location();

    // The cursor and the window list are asked for outside the lock, and only on their ticks.
    const int tick = tick_ + 1;
    std::vector<double> shapeKey;
    if (tick % shapeEvery == 0) {
        const std::optional<CursorImage> cursor = pointer_.currentCursor();
        if (cursor && cursor->width > 0 && cursor->height > 0) {
            shapeKey = {PointerLog::rounded(static_cast<double>(cursor->hotX) / cursor->width, 2),
                PointerLog::rounded(static_cast<double>(cursor->hotY) / cursor->height, 2),
                PointerLog::rounded(cursor->width, 0), CursorShapes::rawValue(CursorShapes::classify(*cursor))};
        }
    }
    std::vector<double> windowKey;
    if (tick % windowEvery == windowOffset) {
        if (const std::optional<QRectF> window = windows_.frontWindowBounds()) {
            const QPointF corner = area.fraction(window->topLeft());
            windowKey = {PointerLog::rounded(corner.x(), 3), PointerLog::rounded(corner.y(), 3), PointerLog::rounded(window->width() / area.frame.width(), 3),
                PointerLog::rounded(window->height() / area.frame.height(), 3)};
        }
    }

    std::lock_guard guard(lock_);
    if (keyCount > previousKeyCount) {
        const std::uint32_t presses = std::min<std::uint32_t>(keyCount - previousKeyCount, maximumKeysPerTick);
        keys_.insert(keys_.end(), presses, PointerLog::rounded(t, 3));
    }

    if (location) {
        const QPointF point = area.fraction(*location);
        if (!lastPoint_) {
            samples_.push_back({t, point.x(), point.y()});
            lastPoint_ = point;
            stillSinceLastSample_ = false;
        } else if (std::abs(point.x() - lastPoint_->x()) < stillDistance && std::abs(point.y() - lastPoint_->y()) < stillDistance) {
            stillSinceLastSample_ = true;
        } else {
            // The path holds still until the tick before the move instead of drifting across the rest.
            if (stillSinceLastSample_ && lastPollTime_)
                samples_.push_back({*lastPollTime_, lastPoint_->x(), lastPoint_->y()});
            samples_.push_back({t, point.x(), point.y()});
            lastPoint_ = point;
            stillSinceLastSample_ = false;
        }
    }
    lastPollTime_ = t;
    tick_ = tick;

    if (!shapeKey.empty() && shapeKey != lastShape_) {
        std::vector<double> record{t};
        record.insert(record.end(), shapeKey.begin(), shapeKey.end());
        shapes_.push_back(std::move(record));
        lastShape_ = std::move(shapeKey);
    }
    if (!windowKey.empty() && windowKey != lastWindow_) {
        std::vector<double> record{t};
        record.insert(record.end(), windowKey.begin(), windowKey.end());
        windowRecords_.push_back(std::move(record));
        lastWindow_ = std::move(windowKey);
    }
}

void PointerTracker::addMark(bool zoomIn)
{
    if (!clock_ || !picture_)
        return;
    // A flat rectangle would put an infinite y into the log and make the whole sidecar unwritable.
    const PictureArea area = picture_->area();
    if (!area.hasArea())
        return;
    const std::optional<double> time = clock_->nowSeconds();
    const std::optional<QPointF> location = pointer_.location();
    if (!time || !location)
        return;
    const QPointF point = area.fraction(*location);
    std::lock_guard guard(lock_);
    marks_.push_back({PointerLog::rounded(*time, 3), zoomIn ? 1.0 : 0.0, PointerLog::rounded(point.x(), 4),
        PointerLog::rounded(point.y(), 4)});
}

std::size_t PointerTracker::markCount() const
{
    std::lock_guard guard(lock_);
    return marks_.size();
}

PointerLog PointerTracker::log(bool systemCursorInCapture) const
{
    PointerLog log;
    log.systemCursorInCapture = systemCursorInCapture;
    std::lock_guard guard(lock_);
    log.samples = samples_;
    // Samples are made on movement only: a pointer resting since its last move holds its place up to the
    // last tick, or a path ending with the move would settle short of where the pointer rests. One that
    // never moved keeps its single sample.
    if (stillSinceLastSample_ && lastPollTime_ && lastPoint_ && samples_.size() > 1)
        log.samples.push_back({*lastPollTime_, lastPoint_->x(), lastPoint_->y()});
    for (auto& sample : log.samples) {
        for (double& value : sample)
            value = PointerLog::rounded(value, 4);
    }
    log.shapes = shapes_;
    log.keys = keys_;
    log.zoomMarks = marks_;
    log.windows = windowRecords_;
    return log;
}
