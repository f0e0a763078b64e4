#pragma once

#include "platform/video/CameraHub.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A deterministic camera: a test pattern (colour ramp plus the frame counter as 32 black/white blocks in the
// top rows) at the active format's size, or a still picture fitted into that size on black. Frames come either one by one at given host times (emitFrame) or
// from a paced thread following a script of runs and stalls (play), stamped with HostClock.
class FakeCameraHub final : public CameraHub {
public:
    struct Run {
        double seconds = 1.0;    // how long frames flow at the active rate
        double stallAfter = 0.0; // silence after the run
    };

    // A format with one rate range [rate, rate].
    static Format landscape(int width, int height, double rate, PixelFormat pixelFormat = PixelFormat::yuyv);
    // Without formats: one 320x180 format at 30 fps.
    static std::shared_ptr<FakeCameraHub> make(std::vector<Format> formats = {}, QString name = QStringLiteral("Fake Camera"));

    ~FakeCameraHub() override;

    QString uniqueID() const override { return QStringLiteral("fake:") + name_; }
    QString localizedName() const override { return name_; }
    std::vector<Format> formats() const override { return formats_; }
    std::optional<size_t> activeFormatIndex() const override;
    MediaTime activeFrameDuration() const override;
    bool setActiveFormat(size_t index, const MediaTime& frameDuration) override;

    std::atomic<bool> refuseConfiguration{false}; // setActiveFormat fails as a locked device would

    // What the hub was asked to do.
    int formatChanges() const { return formatChanges_.load(); }
    int streamStarts() const { return streamStarts_.load(); }

    // Delivers one frame stamped at the given host seconds; false when nobody streams.
    bool emitFrame(double captureSeconds);
    // Plays the runs on a thread in real time (frames at the active rate, stamped with HostClock::now()).
    // waitForScript() blocks until the script is done.
    void play(std::vector<Run> runs);
    void waitForScript();
    void disconnect() { reportDisconnect(); }
    int64_t framesDelivered() const { return counter_.load(); }

    // From now on every frame shows the picture (aspect kept, centred on black); a null image brings the
    // pattern back.
    void setStill(const QImage& image);
    // Where a still of this size lands in a frame of the active format, in frame pixels.
    QRectF stillRect(QSizeF image) const;

    // The counter a pattern frame carries; -1 when the blocks are not a clean pattern.
    static int64_t readCounter(const PixelBuffer& frame, bool mirrored = false);
    static std::shared_ptr<PixelBuffer> pattern(int width, int height, int64_t counter);

private:
    FakeCameraHub() = default;
    bool startStreaming() override;
    void stopStreaming() override;
    double rate() const;

    QString name_;
    std::vector<Format> formats_;
    std::optional<size_t> active_;
    MediaTime frameDuration_;
    std::atomic<bool> streaming_{false};
    std::atomic<int64_t> counter_{0};
    std::atomic<int> formatChanges_{0};
    std::atomic<int> streamStarts_{0};
    mutable std::mutex stillLock_;
    QImage still_;
    std::shared_ptr<const PixelBuffer> stillFrame_; // the still at the active size, made once per size
    std::thread player_;
    std::atomic<bool> stopPlayer_{false};
};
