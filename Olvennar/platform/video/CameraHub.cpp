#include "platform/video/CameraHub.h"

#include <opencv2/core.hpp>

#include <algorithm>

struct CameraHub::Subscriber {
    Handlers handlers;
    std::atomic<bool> mirrored{false};
    std::atomic<bool> started{false};
    // Held while a callback runs, so stop() and removal can wait for one in flight.
    std::recursive_mutex callLock;
    bool alive = true;
};

double CameraHub::Format::topRate() const
{
    double top = 0;
    for (const FrameRateRange& range : frameRateRanges)
        top = std::max(top, range.maxFrameRate);
    return top;
}

QString CameraHub::Error::description() const
{
    switch (code) {
    case Code::cannotOpen:
        return QStringLiteral("The camera could not be opened: ") + detail;
    case Code::notACamera:
        return QStringLiteral("This device is not a camera: ") + detail;
    case Code::noUsableFormat:
        return QStringLiteral("The camera offers no picture format the studio can read: ") + detail;
    case Code::cannotConfigure:
        return QStringLiteral("The camera refused the format: ") + detail;
    case Code::disconnected:
        return QStringLiteral("The camera was disconnected: ") + detail;
    }
    return detail;
}

ErrorInfo CameraHub::Error::info() const { return {QStringLiteral("CameraHub"), static_cast<int>(code), description()}; }

CameraHub::~CameraHub() = default;

std::optional<CameraHub::Format> CameraHub::activeFormat() const
{
    const std::optional<size_t> index = activeFormatIndex();
    const std::vector<Format> all = formats();
    if (!index || *index >= all.size())
        return std::nullopt;
    return all[*index];
}

bool CameraHub::isStreaming() const
{
    std::lock_guard guard(controlLock_);
    return streaming_ && connected_.load();
}

std::unique_ptr<CameraHub::Subscription> CameraHub::subscribe(Handlers handlers, bool mirrored)
{
    auto subscriber = std::make_shared<Subscriber>();
    subscriber->handlers = std::move(handlers);
    subscriber->mirrored = mirrored;
    {
        std::lock_guard guard(listLock_);
        subscribers_.push_back(subscriber);
    }
    return std::unique_ptr<Subscription>(new Subscription(shared_from_this(), subscriber));
}

std::shared_ptr<PixelBuffer> CameraHub::mirroredCopy(const PixelBuffer& source)
{
    auto copy = std::make_shared<PixelBuffer>(source.width(), source.height());
    if (source.isEmpty())
        return copy;
    const cv::Mat from(source.height(), source.width(), CV_8UC4, const_cast<uint8_t*>(source.data()), source.bytesPerRow());
    cv::Mat to(copy->height(), copy->width(), CV_8UC4, copy->data(), copy->bytesPerRow());
    cv::flip(from, to, 1);
    return copy;
}

void CameraHub::deliver(const std::shared_ptr<const PixelBuffer>& frame, const MediaTime& captureTime, const MediaTime& duration)
{
    std::vector<std::shared_ptr<Subscriber>> targets;
    {
        std::lock_guard guard(listLock_);
        for (const auto& subscriber : subscribers_)
            if (subscriber->started.load())
                targets.push_back(subscriber);
    }
    // Mirror at most once per frame, however many subscribers want it.
    std::shared_ptr<const PixelBuffer> mirrored;
    for (const auto& subscriber : targets) {
        std::lock_guard call(subscriber->callLock);
        if (!subscriber->alive || !subscriber->started.load() || !subscriber->handlers.frame)
            continue;
        std::shared_ptr<const PixelBuffer> pixels = frame;
        if (subscriber->mirrored.load()) {
            if (!mirrored && frame)
                mirrored = mirroredCopy(*frame);
            pixels = mirrored;
        }
        subscriber->handlers.frame(MediaSample::video(pixels, captureTime, duration));
    }
}

void CameraHub::reportDisconnect()
{
    if (!connected_.exchange(false))
        return;
    std::vector<std::shared_ptr<Subscriber>> targets;
    {
        std::lock_guard guard(listLock_);
        targets = subscribers_;
    }
    for (const auto& subscriber : targets) {
        std::lock_guard call(subscriber->callLock);
        if (subscriber->alive && subscriber->handlers.disconnected)
            subscriber->handlers.disconnected();
    }
}

void CameraHub::setStarted(const std::shared_ptr<Subscriber>& subscriber, bool started)
{
    {
        std::lock_guard control(controlLock_);
        if (subscriber->started.load() == started)
            return;
        if (started) {
            // A camera that went away stays stopped; its consumers wait for a new hub.
            if (!connected_.load())
                return;
            if (!streaming_)
                streaming_ = startStreaming();
            if (!streaming_)
                return;
            subscriber->started = true;
            ++startedCount_;
            return;
        }
        subscriber->started = false;
        if (--startedCount_ == 0 && streaming_) {
            stopStreaming();
            streaming_ = false;
        }
    }
    // Wait for a callback that is running right now to return.
    std::lock_guard call(subscriber->callLock);
}

void CameraHub::remove(const std::shared_ptr<Subscriber>& subscriber)
{
    setStarted(subscriber, false);
    {
        std::lock_guard call(subscriber->callLock);
        subscriber->alive = false;
    }
    std::lock_guard guard(listLock_);
    subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), subscriber), subscribers_.end());
}

CameraHub::Subscription::Subscription(std::shared_ptr<CameraHub> hub, std::shared_ptr<Subscriber> subscriber)
    : hub_(std::move(hub))
    , subscriber_(std::move(subscriber))
{
}

CameraHub::Subscription::~Subscription() { hub_->remove(subscriber_); }

bool CameraHub::Subscription::start()
{
    hub_->setStarted(subscriber_, true);
    return subscriber_->started.load();
}

void CameraHub::Subscription::stop() { hub_->setStarted(subscriber_, false); }

bool CameraHub::Subscription::isStarted() const { return subscriber_->started.load(); }

void CameraHub::Subscription::setMirrored(bool mirrored) { subscriber_->mirrored = mirrored; }

bool CameraHub::Subscription::isMirrored() const { return subscriber_->mirrored.load(); }
