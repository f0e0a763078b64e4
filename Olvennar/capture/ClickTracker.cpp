#include "capture/ClickTracker.h"

#include "capture/DisplayPicture.h"
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
    start(std::move(clock), std::make_shared<DisplayPicture>(captureRect));
}

void ClickTracker::start(std::shared_ptr<RecordingClock> clock, std::shared_ptr<DisplayPicture> picture)
{
    stop();
    if (!clock || !picture)
        return;
    QPointer<ClickTracker> weak(this);
    monitor_ = input_.addMouseDownMonitor([weak, clock, picture] {
        if (weak)
            weak->mouseDown(*clock, *picture);
    });
}

void ClickTracker::stop() { monitor_.reset(); }

void ClickTracker::mouseDown(const RecordingClock& clock, DisplayPicture& picture)
{
    // Nothing is filmed before the clock's zero or while paused, and the clock then has no time.
    const std::optional<double> time = clock.nowSeconds();
    if (!time)
        return;
    const std::optional<QPointF> point = pointer_.location();
    if (!point)
        return;
    const PictureArea area = picture.area();
    if (!area.films(*point))
        return;
    const QPointF at = area.fraction(*point);
    const Click click{*time, at.x(), at.y()};
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
