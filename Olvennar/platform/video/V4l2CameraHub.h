#pragma once

#include "platform/video/CameraHub.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// A V4L2 capture device behind the CameraHub interface: memory-mapped buffers, one capture thread while
// streaming, Motion-JPEG / YUYV / NV12 decoded to BGRA, buffer times on CLOCK_MONOTONIC.
class V4l2CameraHub final : public CameraHub {
public:
    struct OpenResult {
        std::shared_ptr<V4l2CameraHub> hub;
        std::optional<Error> error;
    };
    // Opens the node, checks it captures video and reads its formats; does not stream.
    static OpenResult open(const QString& devicePath);

    ~V4l2CameraHub() override;

    QString uniqueID() const override { return devicePath_; }
    QString localizedName() const override { return name_; }
    std::vector<Format> formats() const override;
    std::optional<size_t> activeFormatIndex() const override;
    MediaTime activeFrameDuration() const override;
    bool setActiveFormat(size_t index, const MediaTime& frameDuration) override;

    // One frame-interval entry as VIDIOC_ENUM_FRAMEINTERVALS reports it (seconds per frame as fractions).
    struct IntervalEntry {
        bool discrete = true;
        uint32_t numerator = 0; // discrete interval, or the shortest interval of a range
        uint32_t denominator = 0;
        uint32_t longestNumerator = 0; // range only
        uint32_t longestDenominator = 0;
    };
    // Rate ranges in the device's order: a discrete interval is a range of one rate; a stepwise or
    // continuous range spans its slowest to fastest rate. Zero or malformed fractions are skipped.
    static std::vector<FrameRateRange> frameRateRanges(const std::vector<IntervalEntry>& entries);

    // The fourcc we read, or nothing for pixel formats we do not decode.
    static std::optional<PixelFormat> pixelFormatFor(uint32_t fourcc);
    static uint32_t fourccFor(PixelFormat format);
    // Compressed first: over USB it is the one that reaches full rate at large sizes, so it must come
    // before an equally ranked raw format.
    static int listingRank(PixelFormat format);

private:
    class FileDescriptor {
    public:
        FileDescriptor() = default;
        explicit FileDescriptor(int fd) : fd_(fd) {}
        ~FileDescriptor();
        FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
        FileDescriptor& operator=(FileDescriptor&& other) noexcept;
        int get() const { return fd_; }
        int release();

    private:
        int fd_ = -1;
    };

    struct Mapping {
        void* start = nullptr;
        size_t length = 0;
    };

    V4l2CameraHub() = default;

    bool readActiveFormat();
    bool startStreaming() override;
    void stopStreaming() override;
    void captureLoop();
    void releaseBuffers();
    void joinFinishedThread();

    QString devicePath_;
    QString name_;
    FileDescriptor fd_;
    FileDescriptor wake_;
    bool canSetFrameInterval_ = false;
    std::vector<Format> formats_;
    std::optional<size_t> active_;
    MediaTime frameDuration_;
    size_t bytesPerLine_ = 0;
    std::vector<Mapping> buffers_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    // Set when the stream was stopped from inside a callback: the capture thread then tears down itself.
    std::atomic<bool> teardownOnExit_{false};
};
