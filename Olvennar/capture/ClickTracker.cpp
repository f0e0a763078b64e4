#include "capture/ClickTracker.h"

#include "platform/input/PointerState.h"
#include "takedata/RecordingClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <cmath>

ClickTracker::ClickTracker(InputEvents& input, PointerState& pointer, QObject* parent)
    : QObject(parent), input_(input), pointer_(pointer)
{
}

ClickTracker::~ClickTracker() = default;

void ClickTracker::start(std::shared_ptr<RecordingClock> clock, const QRectF& captureRect)
{
    stop();
    if (!clock)
        return;
    QPointer<ClickTracker> weak(this);
    monitor_ = input_.addMouseDownMonitor([weak, clock, captureRect] {
        if (weak)
            weak->mouseDown(*clock, captureRect);
    });
}

void ClickTracker::stop() { monitor_.reset(); }

void ClickTracker::mouseDown(const RecordingClock& clock, const QRectF& captureRect)
{
    // Nothing is filmed before the clock's zero or while paused, and the clock then has no time.
    const std::optional<double> time = clock.nowSeconds();
    if (!time)
        return;
    const std::optional<QPointF> point = pointer_.location();
    if (!point)
        return;
    // y grows upwards here, so QRectF's y() is the bottom edge. Right and top edges belong to the next display.
    const double minX = captureRect.x(), minY = captureRect.y();
    const double maxX = minX + captureRect.width(), maxY = minY + captureRect.height();
    if (!(point->x() >= minX && point->x() < maxX && point->y() >= minY && point->y() < maxY))
        return;
    const Click click{*time, (point->x() - minX) / captureRect.width(), (point->y() - minY) / captureRect.height()};
    std::lock_guard guard(lock_);
    recorded_.push_back(click);
}

std::vector<ClickTracker::Click> ClickTracker::recorded() const
{
    std::lock_guard guard(lock_);
    return recorded_;
}

void ClickTracker::clearRecorded()
{
    std::lock_guard guard(lock_);
    recorded_.clear();
}

std::optional<QByteArray> ClickTracker::encoded(const std::vector<Click>& clicks)
{
    const std::optional<QJsonArray> array = json(clicks);
    return array ? std::optional(QJsonDocument(*array).toJson(QJsonDocument::Indented)) : std::nullopt;
}

std::optional<QJsonArray> ClickTracker::json(const std::vector<Click>& clicks)
{
    QJsonArray array;
    for (const Click& click : clicks) {
        if (!std::isfinite(click.time) || !std::isfinite(click.x) || !std::isfinite(click.y))
            return std::nullopt;
        QJsonObject object;
        object.insert(QStringLiteral("time"), click.time);
        object.insert(QStringLiteral("x"), click.x);
        object.insert(QStringLiteral("y"), click.y);
        array.append(object);
    }
    return array;
}
