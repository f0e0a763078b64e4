#include "platform/video/V4L2DeviceCatalog.h"

#include "platform/video/UdevHandles.h"

#include <linux/videodev2.h>

#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int control(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

QString text(const uint8_t* bytes, size_t size) { return QString::fromUtf8(reinterpret_cast<const char*>(bytes), static_cast<int>(strnlen(reinterpret_cast<const char*>(bytes), size))); }

std::vector<MediaTime> intervals(int fd, uint32_t fourcc, uint32_t width, uint32_t height)
{
    std::vector<MediaTime> result;
    v4l2_frmivalenum interval{};
    interval.pixel_format = fourcc;
    interval.width = width;
    interval.height = height;
    for (interval.index = 0; control(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0; ++interval.index) {
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            result.emplace_back(interval.discrete.numerator, static_cast<int32_t>(interval.discrete.denominator));
        } else {
            // Continuous or stepwise: the two ends are what a picker needs.
            result.emplace_back(interval.stepwise.min.numerator, static_cast<int32_t>(interval.stepwise.min.denominator));
            result.emplace_back(interval.stepwise.max.numerator, static_cast<int32_t>(interval.stepwise.max.denominator));
            break;
        }
    }
    return result;
}

std::vector<VideoDeviceInfo::FrameSize> frameSizes(int fd, uint32_t fourcc)
{
    std::vector<VideoDeviceInfo::FrameSize> result;
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    for (size.index = 0; control(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            result.push_back({static_cast<int>(size.discrete.width), static_cast<int>(size.discrete.height),
                intervals(fd, fourcc, size.discrete.width, size.discrete.height)});
        } else {
            for (const auto& [w, h] : {std::pair{size.stepwise.min_width, size.stepwise.min_height}, std::pair{size.stepwise.max_width, size.stepwise.max_height}})
                result.push_back({static_cast<int>(w), static_cast<int>(h), intervals(fd, fourcc, w, h)});
            break;
        }
    }
    return result;
}

} // namespace

std::optional<VideoDeviceInfo> V4L2DeviceCatalog::probe(const QString& node)
{
    FileDescriptor fd(::open(node.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    v4l2_capability capability{};
    if (control(fd.get(), VIDIOC_QUERYCAP, &capability) < 0)
        return std::nullopt;
    const uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE))
        return std::nullopt;
    VideoDeviceInfo info;
    info.node = node;
    info.name = text(capability.card, sizeof capability.card);
    info.driver = text(capability.driver, sizeof capability.driver);
    info.busInfo = text(capability.bus_info, sizeof capability.bus_info);
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; control(fd.get(), VIDIOC_ENUM_FMT, &format) == 0; ++format.index)
        info.formats.push_back({format.pixelformat, text(format.description, sizeof format.description), frameSizes(fd.get(), format.pixelformat)});
    return info;
}

std::vector<VideoDeviceInfo> V4L2DeviceCatalog::devices()
{
    std::vector<VideoDeviceInfo> result;
    UdevPtr context(udev_new());
    if (!context)
        return result;
    UdevEnumeratePtr enumerate(udev_enumerate_new(context.get()));
    udev_enumerate_add_match_subsystem(enumerate.get(), "video4linux");
    udev_enumerate_scan_devices(enumerate.get());
    QSet<QString> seen;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        UdevDevicePtr device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        const char* node = device ? udev_device_get_devnode(device.get()) : nullptr;
        if (!node)
            continue;
        auto info = probe(QString::fromLocal8Bit(node));
        if (!info)
            continue;
        // The serial survives a move to another port; the port path and bus info are the fallbacks.
        QString id;
        for (const char* key : {"ID_SERIAL", "ID_PATH"}) {
            if (const char* value = udev_device_get_property_value(device.get(), key); value && *value) {
                id = QString::fromUtf8(value);
                break;
            }
        }
        if (id.isEmpty())
            id = info->busInfo.isEmpty() ? info->node : info->busInfo;
        QString unique = id;
        for (int n = 2; seen.contains(unique); ++n)
            unique = id + QStringLiteral("#%1").arg(n);
        seen.insert(unique);
        info->uniqueID = unique;
        result.push_back(std::move(*info));
    }
    std::sort(result.begin(), result.end(), [](const VideoDeviceInfo& a, const VideoDeviceInfo& b) { return a.node < b.node; });
    return result;
}
