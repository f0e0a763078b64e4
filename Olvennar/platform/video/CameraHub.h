#pragma once

#include "platform/media/MediaSample.h"
#include "platform/system/ErrorInfo.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// One camera, streamed once and shared: every consumer (recorders, frame taps, previews) subscribes and gets
// each frame as a BGRA sample stamped on the host clock. The stream runs while at least one subscription is
// started; format changes stop it, apply and start it again, so consumers never see a half-configured device.
//
// Threading: the control calls (subscribe, start/stop, setActiveFormat) may come from any thread. Frame and
// disconnect callbacks run on the hub's capture thread; they must return quickly (hand work to a queue) and
// must not call the hub's control functions, except stopping their own subscription.
class CameraHub : public std::enable_shared_from_this<CameraHub> {
public:
    enum class PixelFormat { mjpeg, yuyv, nv12 };

    struct FrameRateRange {
        double minFrameRate = 0;
        double maxFrameRate = 0;
        bool operator==(const FrameRateRange&) const = default;
    };

    // One way the camera can deliver pictures: a pixel format at one size, with the rates it supports,
    // in the order the device lists them.
    struct Format {
        PixelFormat pixelFormat = PixelFormat::yuyv;
        int width = 0;
        int height = 0;
        std::vector<FrameRateRange> frameRateRanges;

        // The largest maximum rate over the ranges; 0 without ranges.
        double topRate() const;
        bool operator==(const Format&) const = default;
    };

    struct Error {
        enum class Code { cannotOpen = 1, notACamera, noUsableFormat, cannotConfigure, disconnected };
        Code code = Code::cannotOpen;
        QString detail;
        QString description() const;
        ErrorInfo info() const;
    };

    struct Handlers {
        // A decoded frame; the payload is shared by every subscriber and must not be modified.
        std::function<void(const MediaSample&)> frame;
        // The device went away; no frame follows.
        std::function<void()> disconnected;
    };

    class Subscription;

    virtual ~CameraHub();
    CameraHub(const CameraHub&) = delete;
    CameraHub& operator=(const CameraHub&) = delete;

    virtual QString uniqueID() const = 0;
    virtual QString localizedName() const = 0;
    virtual std::vector<Format> formats() const = 0;
    // Index into formats(); nothing before the first choice on a device we could not read back.
    virtual std::optional<size_t> activeFormatIndex() const = 0;
    // The applied frame duration; invalid when the device runs at its own default.
    virtual MediaTime activeFrameDuration() const = 0;
    // Applies a format and, when valid, a fixed frame duration, with the stream stopped. False leaves the
    // device as it was (busy device, refused format).
    virtual bool setActiveFormat(size_t index, const MediaTime& frameDuration) = 0;

    std::optional<Format> activeFormat() const;
    bool isConnected() const { return connected_.load(); }
    bool isStreaming() const;

    // A new, stopped subscription. The hub lives at least as long as its subscriptions.
    std::unique_ptr<Subscription> subscribe(Handlers handlers, bool mirrored = false);

    // Horizontal flip into a new buffer: the picture as the user sees themselves in a mirror.
    static std::shared_ptr<PixelBuffer> mirroredCopy(const PixelBuffer& source);

protected:
    CameraHub() = default;

    // Backends start and stop their capture here; called under the hub's control lock.
    virtual bool startStreaming() = 0;
    virtual void stopStreaming() = 0;

    // Fans one frame out to every started subscription; called on the capture thread.
    void deliver(const std::shared_ptr<const PixelBuffer>& frame, const MediaTime& captureTime, const MediaTime& duration);
    // Marks the hub gone and tells every subscription once.
    void reportDisconnect();

    // Serialises stream start/stop and format changes.
    mutable std::recursive_mutex controlLock_;

private:
    struct Subscriber;
    friend class Subscription;

    void setStarted(const std::shared_ptr<Subscriber>& subscriber, bool started);
    void remove(const std::shared_ptr<Subscriber>& subscriber);

    mutable std::mutex listLock_;
    std::vector<std::shared_ptr<Subscriber>> subscribers_;
    int startedCount_ = 0;
    bool streaming_ = false;
    std::atomic<bool> connected_{true};
};

// A consumer's handle on the hub. Destroying it (or stop()) guarantees that no callback of it runs after the
// call returns, except when called from inside its own callback.
class CameraHub::Subscription {
public:
    ~Subscription();
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    // Starts the stream if this is the first started subscription; false when the device cannot stream.
    bool start();
    void stop();
    bool isStarted() const;
    void setMirrored(bool mirrored);
    bool isMirrored() const;
    CameraHub& hub() const { return *hub_; }

private:
    friend class CameraHub;
    Subscription(std::shared_ptr<CameraHub> hub, std::shared_ptr<Subscriber> subscriber);

    std::shared_ptr<CameraHub> hub_;
    std::shared_ptr<Subscriber> subscriber_;
};
