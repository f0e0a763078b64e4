#include "platform/video/V4l2CameraHub.h"

#include "platform/system/HostClock.h"
#include "platform/video/V4l2FrameDecoder.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr unsigned bufferCount = 4;
constexpr int pollTimeoutMs = 250;

int retryingIoctl(int fd, unsigned long request, void* argument)
{
    int result;
    do
        result = ioctl(fd, request, argument);
    while (result == -1 && errno == EINTR);
    return result;
}

QString errnoText(const char* what)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

bool isGone(int error) { return error == ENODEV || error == ENXIO || error == EIO; }

} // namespace

V4l2CameraHub::FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

V4l2CameraHub::FileDescriptor& V4l2CameraHub::FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int V4l2CameraHub::FileDescriptor::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

std::optional<CameraHub::PixelFormat> V4l2CameraHub::pixelFormatFor(uint32_t fourcc)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return PixelFormat::mjpeg;
    case V4L2_PIX_FMT_YUYV:
        return PixelFormat::yuyv;
    case V4L2_PIX_FMT_NV12:
        return PixelFormat::nv12;
    default:
        return std::nullopt;
    }
}

uint32_t V4l2CameraHub::fourccFor(PixelFormat format)
{
    switch (format) {
    case PixelFormat::mjpeg:
        return V4L2_PIX_FMT_MJPEG;
    case PixelFormat::yuyv:
        return V4L2_PIX_FMT_YUYV;
    case PixelFormat::nv12:
        return V4L2_PIX_FMT_NV12;
    }
    return 0;
}

int V4l2CameraHub::listingRank(PixelFormat format)
{
    switch (format) {
    case PixelFormat::mjpeg:
        return 0;
    case PixelFormat::nv12:
        return 1;
    case PixelFormat::yuyv:
        return 2;
    }
    return 3;
}

std::vector<CameraHub::FrameRateRange> V4l2CameraHub::frameRateRanges(const std::vector<IntervalEntry>& entries)
{
    std::vector<FrameRateRange> ranges;
    for (const IntervalEntry& entry : entries) {
        if (entry.numerator == 0 || entry.denominator == 0)
            continue;
        const double fastest = static_cast<double>(entry.denominator) / entry.numerator;
        if (entry.discrete) {
            ranges.push_back({fastest, fastest});
            continue;
        }
        if (entry.longestNumerator == 0 || entry.longestDenominator == 0)
            continue;
        const double slowest = static_cast<double>(entry.longestDenominator) / entry.longestNumerator;
        ranges.push_back({std::min(slowest, fastest), std::max(slowest, fastest)});
    }
    return ranges;
}

V4l2CameraHub::OpenResult V4l2CameraHub::open(const QString& devicePath)
{
    OpenResult result;
    const QByteArray path = QFile::encodeName(devicePath);
    FileDescriptor fd(::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        result.error = Error{Error::Code::cannotOpen, errnoText(path.constData())};
        return result;
    }
    v4l2_capability capability{};
    if (retryingIoctl(fd.get(), VIDIOC_QUERYCAP, &capability) < 0) {
        result.error = Error{Error::Code::notACamera, errnoText("VIDIOC_QUERYCAP")};
        return result;
    }
    const uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) {
        result.error = Error{Error::Code::notACamera, devicePath};
        return result;
    }

    std::shared_ptr<V4l2CameraHub> hub(new V4l2CameraHub());
    hub->devicePath_ = devicePath;
    hub->name_ = QString::fromUtf8(reinterpret_cast<const char*>(capability.card)).trimmed();

    struct Listed {
        Format format;
        uint32_t order;
    };
    std::vector<Listed> listed;
    uint32_t order = 0;
    for (uint32_t formatIndex = 0;; ++formatIndex) {
        v4l2_fmtdesc description{};
        description.index = formatIndex;
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (retryingIoctl(fd.get(), VIDIOC_ENUM_FMT, &description) < 0)
            break;
        const std::optional<PixelFormat> pixelFormat = pixelFormatFor(description.pixelformat);
        if (!pixelFormat)
            continue;
        for (uint32_t sizeIndex = 0;; ++sizeIndex) {
            v4l2_frmsizeenum size{};
            size.index = sizeIndex;
            size.pixel_format = description.pixelformat;
            if (retryingIoctl(fd.get(), VIDIOC_ENUM_FRAMESIZES, &size) < 0)
                break;
            // Stepwise sizes are rare on cameras; take the largest, which is what such devices are used at.
            const int width = static_cast<int>(size.type == V4L2_FRMSIZE_TYPE_DISCRETE ? size.discrete.width : size.stepwise.max_width);
            const int height = static_cast<int>(size.type == V4L2_FRMSIZE_TYPE_DISCRETE ? size.discrete.height : size.stepwise.max_height);
            std::vector<IntervalEntry> intervals;
            for (uint32_t intervalIndex = 0;; ++intervalIndex) {
                v4l2_frmivalenum interval{};
                interval.index = intervalIndex;
                interval.pixel_format = description.pixelformat;
                interval.width = static_cast<uint32_t>(width);
                interval.height = static_cast<uint32_t>(height);
                if (retryingIoctl(fd.get(), VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0)
                    break;
                if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                    intervals.push_back({true, interval.discrete.numerator, interval.discrete.denominator, 0, 0});
                } else {
                    intervals.push_back({false, interval.stepwise.min.numerator, interval.stepwise.min.denominator,
                        interval.stepwise.max.numerator, interval.stepwise.max.denominator});
                    break; // a range is the only entry
                }
            }
            listed.push_back({Format{*pixelFormat, width, height, frameRateRanges(intervals)}, order++});
            if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE)
                break;
        }
    }
    if (listed.empty()) {
        result.error = Error{Error::Code::noUsableFormat, hub->name_};
        return result;
    }
    std::stable_sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        return listingRank(a.format.pixelFormat) < listingRank(b.format.pixelFormat);
    });
    for (const Listed& entry : listed)
        hub->formats_.push_back(entry.format);

    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (retryingIoctl(fd.get(), VIDIOC_G_PARM, &parameters) == 0)
        hub->canSetFrameInterval_ = parameters.parm.capture.capability & V4L2_CAP_TIMEPERFRAME;

    hub->wake_ = FileDescriptor(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    hub->fd_ = std::move(fd);
    hub->readActiveFormat();
    result.hub = std::move(hub);
    return result;
}

V4l2CameraHub::~V4l2CameraHub()
{
    std::lock_guard control(controlLock_);
    stopStreaming();
    joinFinishedThread();
}

bool V4l2CameraHub::readActiveFormat()
{
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (retryingIoctl(fd_.get(), VIDIOC_G_FMT, &format) < 0)
        return false;
    bytesPerLine_ = format.fmt.pix.bytesperline;
    active_.reset();
    const std::optional<PixelFormat> pixelFormat = pixelFormatFor(format.fmt.pix.pixelformat);
    for (size_t i = 0; pixelFormat && i < formats_.size(); ++i) {
        if (formats_[i].pixelFormat == *pixelFormat && formats_[i].width == static_cast<int>(format.fmt.pix.width)
            && formats_[i].height == static_cast<int>(format.fmt.pix.height)) {
            active_ = i;
            break;
        }
    }
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    frameDuration_ = MediaTime::invalid();
    if (retryingIoctl(fd_.get(), VIDIOC_G_PARM, &parameters) == 0 && parameters.parm.capture.timeperframe.denominator > 0
        && parameters.parm.capture.timeperframe.numerator > 0)
        frameDuration_ = MediaTime(parameters.parm.capture.timeperframe.numerator,
            static_cast<int32_t>(std::min<uint32_t>(parameters.parm.capture.timeperframe.denominator, INT32_MAX)));
    return true;
}

std::vector<CameraHub::Format> V4l2CameraHub::formats() const
{
    return formats_; // fixed after open
}

std::optional<size_t> V4l2CameraHub::activeFormatIndex() const
{
    std::lock_guard control(controlLock_);
    return active_;
}

MediaTime V4l2CameraHub::activeFrameDuration() const
{
    std::lock_guard control(controlLock_);
    return frameDuration_;
}

bool V4l2CameraHub::setActiveFormat(size_t index, const MediaTime& frameDuration)
{
    std::lock_guard control(controlLock_);
    if (index >= formats_.size() || !isConnected())
        return false;
    joinFinishedThread();
    const bool wasStreaming = isStreaming();
    if (wasStreaming)
        stopStreaming();
    const Format& wanted = formats_[index];
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = static_cast<uint32_t>(wanted.width);
    format.fmt.pix.height = static_cast<uint32_t>(wanted.height);
    format.fmt.pix.pixelformat = fourccFor(wanted.pixelFormat);
    format.fmt.pix.field = V4L2_FIELD_ANY;
    bool applied = retryingIoctl(fd_.get(), VIDIOC_S_FMT, &format) == 0;
    if (applied && frameDuration.isNumeric() && canSetFrameInterval_) {
        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parameters.parm.capture.timeperframe.numerator = static_cast<uint32_t>(std::max<int64_t>(frameDuration.value(), 1));
        parameters.parm.capture.timeperframe.denominator = static_cast<uint32_t>(frameDuration.timescale());
        retryingIoctl(fd_.get(), VIDIOC_S_PARM, &parameters);
    }
    readActiveFormat();
    // The driver may adjust what we asked for; only an exact match counts as applied.
    applied = applied && active_ == index;
    if (wasStreaming && !startStreaming())
        reportDisconnect();
    return applied;
}

bool V4l2CameraHub::startStreaming()
{
    std::lock_guard control(controlLock_);
    joinFinishedThread();
    if (!isConnected() || !active_)
        return false;
    v4l2_requestbuffers request{};
    request.count = bufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (retryingIoctl(fd_.get(), VIDIOC_REQBUFS, &request) < 0 || request.count == 0)
        return false;
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (retryingIoctl(fd_.get(), VIDIOC_QUERYBUF, &buffer) < 0) {
            releaseBuffers();
            return false;
        }
        void* start = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(), buffer.m.offset);
        if (start == MAP_FAILED) {
            releaseBuffers();
            return false;
        }
        buffers_.push_back({start, buffer.length});
        if (retryingIoctl(fd_.get(), VIDIOC_QBUF, &buffer) < 0) {
            releaseBuffers();
            return false;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (retryingIoctl(fd_.get(), VIDIOC_STREAMON, &type) < 0) {
        releaseBuffers();
        return false;
    }
    stopRequested_ = false;
    teardownOnExit_ = false;
    thread_ = std::thread([this] { captureLoop(); });
    pthread_setname_np(thread_.native_handle(), "camera.capture");
    return true;
}

void V4l2CameraHub::stopStreaming()
{
    std::lock_guard control(controlLock_);
    if (!thread_.joinable())
        return;
    stopRequested_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
    if (std::this_thread::get_id() == thread_.get_id()) {
        // Asked from a frame or disconnect callback: the loop ends after it and cleans up on its own.
        teardownOnExit_ = true;
        return;
    }
    thread_.join();
    releaseBuffers();
}

void V4l2CameraHub::joinFinishedThread()
{
    if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id())
        thread_.join();
}

void V4l2CameraHub::releaseBuffers()
{
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    retryingIoctl(fd_.get(), VIDIOC_STREAMOFF, &type);
    for (const Mapping& mapping : buffers_)
        munmap(mapping.start, mapping.length);
    buffers_.clear();
    v4l2_requestbuffers request{};
    request.count = 0;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    retryingIoctl(fd_.get(), VIDIOC_REQBUFS, &request);
    uint64_t drained = 0;
    [[maybe_unused]] const ssize_t read = ::read(wake_.get(), &drained, sizeof drained);
}

void V4l2CameraHub::captureLoop()
{
    V4l2FrameDecoder decoder;
    const Format format = formats_[*active_];
    const size_t bytesPerLine = bytesPerLine_;
    const MediaTime duration = frameDuration_;
    while (!stopRequested_.load()) {
        pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, pollTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (stopRequested_.load())
            break;
        if (ready < 0) {
            reportDisconnect();
            break;
        }
        if (ready == 0 || !(fds[0].revents & (POLLIN | POLLERR | POLLHUP)))
            continue;
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (retryingIoctl(fd_.get(), VIDIOC_DQBUF, &buffer) < 0) {
            if (errno == EAGAIN)
                continue;
            // An unplugged camera answers ENODEV; anything else persistent is as good as gone for a take.
            if (isGone(errno) || (fds[0].revents & (POLLERR | POLLHUP))) {
                reportDisconnect();
                break;
            }
            continue;
        }
        MediaTime captureTime;
        if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC
            && (buffer.timestamp.tv_sec != 0 || buffer.timestamp.tv_usec != 0))
            captureTime = MediaTime::fromNanoseconds(static_cast<int64_t>(buffer.timestamp.tv_sec) * 1'000'000'000
                + static_cast<int64_t>(buffer.timestamp.tv_usec) * 1000);
        else
            captureTime = HostClock::now();
        std::shared_ptr<PixelBuffer> pixels;
        if (buffer.index < buffers_.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const Mapping& mapping = buffers_[buffer.index];
            pixels = decoder.decode(format.pixelFormat, static_cast<const uint8_t*>(mapping.start),
                std::min<size_t>(buffer.bytesused, mapping.length), format.width, format.height,
                format.pixelFormat == PixelFormat::mjpeg ? 0 : bytesPerLine);
        }
        if (retryingIoctl(fd_.get(), VIDIOC_QBUF, &buffer) < 0 && isGone(errno)) {
            reportDisconnect();
            break;
        }
        if (pixels)
            deliver(pixels, captureTime, duration);
    }
    // Nobody else touches the buffers until this thread is joined.
    if (teardownOnExit_.exchange(false))
        releaseBuffers();
}
