#include "platform/x11/X11ScreenCapture.h"

#include "platform/media/BgraToPlanar.h"
#include "platform/media/PixelBufferPool.h"
#include "platform/media/PlanarPictureConverter.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/HostClock.h"
#include "platform/x11/CursorBlend.h"
#include "platform/x11/DisplayFollow.h"
#include "platform/x11/ExclusionPlan.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11WindowList.h"
#include "platform/x11/XcbConnection.h"

#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <opencv2/imgproc.hpp>

#include <pthread.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

namespace {

int64_t monotonicNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void sleepUntil(int64_t nanoseconds)
{
    timespec ts{static_cast<time_t>(nanoseconds / 1'000'000'000), static_cast<long>(nanoseconds % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// A System V segment attached to this process and to the X server; detached from both on destruction.
class ShmSegment {
public:
    static std::unique_ptr<ShmSegment> attach(xcb_connection_t* c, size_t bytes)
    {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0)
            return nullptr;
        void* address = shmat(id, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return nullptr;
        }
        const xcb_shm_seg_t segment = xcb_generate_id(c);
        XcbReply<xcb_generic_error_t> error(xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<uint32_t>(id), 0)));
        // Marked for removal now: the kernel frees it once both sides detach, even after a crash.
        shmctl(id, IPC_RMID, nullptr);
        if (error) {
            shmdt(address);
            return nullptr;
        }
        return std::unique_ptr<ShmSegment>(new ShmSegment(c, segment, static_cast<uint8_t*>(address), bytes));
    }
    ~ShmSegment()
    {
        xcb_shm_detach(connection_, segment_);
        xcb_flush(connection_);
        shmdt(data_);
    }
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;

    xcb_shm_seg_t id() const { return segment_; }
    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    ShmSegment(xcb_connection_t* c, xcb_shm_seg_t segment, uint8_t* data, size_t size) : connection_(c), segment_(segment), data_(data), size_(size) {}
    xcb_connection_t* connection_;
    xcb_shm_seg_t segment_;
    uint8_t* data_;
    size_t size_;
};

bool grabInto(xcb_connection_t* c, xcb_drawable_t drawable, const QRect& area, const ShmSegment& segment)
{
    const auto cookie = xcb_shm_get_image(c, drawable, static_cast<int16_t>(area.x()), static_cast<int16_t>(area.y()),
        static_cast<uint16_t>(area.width()), static_cast<uint16_t>(area.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment.id(), 0);
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, nullptr));
    return reply && (reply->depth == 24 || reply->depth == 32);
}

// Grabs that fail this long in a row end the take: a picture that stopped is never passed off as filmed.
constexpr double unreadableSecondsBound = 2.0;

} // namespace

class X11ScreenCapture::Grabber {
public:
    Grabber(std::unique_ptr<XcbConnection> connection, Configuration configuration, FrameHandler onFrame)
        : connection_(std::move(connection)), configuration_(std::move(configuration)), onFrame_(std::move(onFrame))
    {
    }
    ~Grabber() { stop(); }

    std::optional<QString> prepare()
    {
        xcb_connection_t* c = connection_->get();
        const QRect& source = configuration_.sourceRect;
        const QRect root(0, 0, connection_->screen()->width_in_pixels, connection_->screen()->height_in_pixels);
        if (source.isEmpty() || !root.contains(source))
            return QStringLiteral("the display rectangle lies outside the screen");
        if (connection_->screen()->root_depth != 24 && connection_->screen()->root_depth != 32)
            return QStringLiteral("the screen depth %1 is not supported").arg(connection_->screen()->root_depth);
        XcbReply<xcb_shm_query_version_reply_t> shm(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
        if (!shm)
            return QStringLiteral("the X server offers no shared-memory images (MIT-SHM)");
        findDisplay(source);
        source_ = source;
        const size_t bytes = static_cast<size_t>(source.width()) * static_cast<size_t>(source.height()) * 4;
        frameSegment_ = ShmSegment::attach(c, bytes);
        if (!frameSegment_)
            return QStringLiteral("no shared-memory segment for the screen image");
        if (configuration_.excludes) {
            XcbReply<xcb_composite_query_version_reply_t> composite(
                xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), nullptr));
            if (composite && (composite->major_version > 0 || composite->minor_version >= 2)) {
                patchSegment_ = ShmSegment::attach(c, bytes);
                // Keeps every window's picture in its own pixmap, also without a compositing manager.
                xcb_composite_redirect_subwindows(c, connection_->root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
            }
        }
        // Told when a display is resized, moved, plugged or unplugged, so the grab follows at once.
        const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
        if (randr && randr->present)
            xcb_randr_select_input(c, connection_->root(),
                XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
        if (configuration_.showsCursor) {
            XcbReply<xcb_xfixes_query_version_reply_t> fixes(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
            cursorAvailable_ = fixes && fixes->major_version >= 1;
        }
        xcb_flush(c);
        return std::nullopt;
    }

    void launch() { thread_ = std::thread([this] { run(); }); }

    // Two callers may stop at once (a take's stop on a worker and its owner going away): one joins the
    // thread, the other waits here until it ended.
    void stop()
    {
        stopping_.store(true);
        std::lock_guard guard(joinLock_);
        if (thread_.joinable())
            thread_.join();
    }

    Statistics statistics() const { return {delivered_.load(), missed_.load()}; }

private:
    void run()
    {
        pthread_setname_np(pthread_self(), "olvennar.grab");
        const int rate = configuration_.frameRate > 0 ? configuration_.frameRate : ScreenFrameRate::perSecond;
        const int64_t interval = 1'000'000'000 / rate;
        const MediaTime frameDuration(1, rate);
        int64_t next = monotonicNanoseconds();
        int64_t nextRefresh = next;
        while (!stopping_.load()) {
            sleepUntil(next);
            if (stopping_.load())
                break;
            if (connection_->hasError()) {
                if (configuration_.onStopped)
                    configuration_.onStopped(QStringLiteral("the connection to the X server was lost"));
                return;
            }
            if (layoutChanged()) {
                if (!follow())
                    return;
                nextRefresh = monotonicNanoseconds();
            }
            if (patchSegment_ && monotonicNanoseconds() >= nextRefresh) {
                refreshWindows();
                nextRefresh = monotonicNanoseconds() + static_cast<int64_t>(configuration_.windowRefreshSeconds * 1e9);
            }
            const MediaTime pts = HostClock::now();
            std::optional<MediaSample> frame = grabFrame(pts, frameDuration);
            if (!frame && !grabbed_) {
                // The screen may have changed before its notice came, or without one: look, then grab once more.
                if (!follow())
                    return;
                if (patchSegment_)
                    refreshWindows();
                frame = grabFrame(pts, frameDuration);
            }
            if (frame) {
                onFrame_(*frame);
                delivered_.fetch_add(1);
                unreadableSince_.reset();
            } else if (!grabbed_) {
                if (!unreadableSince_)
                    unreadableSince_ = monotonicNanoseconds();
                else if (static_cast<double>(monotonicNanoseconds() - *unreadableSince_) / 1e9 >= unreadableSecondsBound) {
                    end(QStringLiteral("the screen could not be read for %1 seconds").arg(unreadableSecondsBound, 0, 'f', 0));
                    return;
                }
            }
            next += interval;
            const int64_t now = monotonicNanoseconds();
            while (now >= next + interval) {
                next += interval;
                missed_.fetch_add(1);
            }
        }
    }

    // The display the rectangle lies on, followed from now on; on none (a rectangle across displays) the
    // whole screen is followed.
    void findDisplay(const QRect& source)
    {
        if (const std::optional<ScreenDisplay> display = DisplayFollow::holding(source, X11Displays::list(*connection_))) {
            display_ = *display;
            return;
        }
        followsScreen_ = true;
        display_ = DisplayFollow::wholeScreen(QSize(connection_->screen()->width_in_pixels, connection_->screen()->height_in_pixels));
    }

    // Drains the connection's events: a RandR notice means the screen's layout changed. Errors of requests
    // whose replies were not waited for land here too and go.
    bool layoutChanged()
    {
        bool changed = false;
        while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_->get())})
            changed = changed || (event->response_type & 0x7F) != 0;
        return changed;
    }

    // Films the take's display as it is now; false once capture ended, its reason told.
    bool follow()
    {
        xcb_connection_t* c = connection_->get();
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, connection_->root()), nullptr));
        if (!geometry) {
            end(QStringLiteral("the connection to the X server was lost"));
            return false;
        }
        const QSize root(geometry->width, geometry->height);
        const std::vector<ScreenDisplay> displays
            = followsScreen_ ? std::vector<ScreenDisplay>{DisplayFollow::wholeScreen(root)} : X11Displays::list(*connection_);
        const DisplayFollow::Decision decision = DisplayFollow::decide(display_, configuration_.sourceRect, displays, root);
        if (const auto* gone = std::get_if<DisplayFollow::Gone>(&decision)) {
            end(gone->reason);
            return false;
        }
        const QRect source = std::get<DisplayFollow::Grab>(decision).source;
        if (source == source_)
            return true;
        const size_t bytes = static_cast<size_t>(source.width()) * static_cast<size_t>(source.height()) * 4;
        if (bytes > frameSegment_->size()) {
            const bool patches = patchSegment_ != nullptr;
            frameSegment_ = ShmSegment::attach(c, bytes);
            if (patches)
                patchSegment_ = ShmSegment::attach(c, bytes);
            if (!frameSegment_ || (patches && !patchSegment_)) {
                end(QStringLiteral("no shared-memory segment for the larger screen image"));
                return false;
            }
        }
        Diagnostics::log(QStringLiteral("screen: the display changed, now filming %1x%2 at %3,%4 into the take's %5x%6")
                             .arg(source.width())
                             .arg(source.height())
                             .arg(source.x())
                             .arg(source.y())
                             .arg(outputSize().width())
                             .arg(outputSize().height()));
        source_ = source;
        plan_ = {};
        return true;
    }

    void end(const QString& reason)
    {
        Diagnostics::log(QStringLiteral("screen: capture ended — ") + reason);
        if (configuration_.onStopped)
            configuration_.onStopped(reason);
    }

    void refreshWindows()
    {
        windows_ = X11WindowList::stackingOrder(*connection_);
        std::vector<bool> excluded(windows_.size());
        for (size_t i = 0; i < windows_.size(); ++i)
            excluded[i] = configuration_.excludes(windows_[i]);
        plan_ = ExclusionPlan::make(windows_, excluded, source_);
    }

    // Nothing with `grabbed_` false when the screen could not be read; with it true when the picture could
    // not be converted.
    std::optional<MediaSample> grabFrame(const MediaTime& pts, const MediaTime& duration)
    {
        xcb_connection_t* c = connection_->get();
        grabbed_ = grabInto(c, connection_->root(), source_, *frameSegment_);
        if (!grabbed_)
            return std::nullopt;
        uint8_t* image = frameSegment_->data();
        size_t stride = static_cast<size_t>(source_.width()) * 4;
        if (!plan_.isEmpty())
            paintExclusions(image, stride);
        if (cursorAvailable_)
            drawCursor(image, stride);
        QSize size = source_.size();
        const QSize output = outputSize();
        const QRect placed = DisplayFollow::fitted(size, output);
        if (source_ != configuration_.sourceRect && placed.size() != output) {
            // A display of another shape than the take's frame: whole, between black bars.
            boxed_.create(output.height(), output.width(), CV_8UC4);
            boxed_.setTo(cv::Scalar(0, 0, 0, 255));
            const cv::Mat in(size.height(), size.width(), CV_8UC4, image, stride);
            cv::Mat target = boxed_(cv::Rect(placed.x(), placed.y(), placed.width(), placed.height()));
            cv::resize(in, target, target.size(), 0, 0, cv::INTER_AREA);
            image = boxed_.data;
            stride = boxed_.step[0];
            size = output;
        }
        if (configuration_.planar) {
            if (auto planar = convertPlanar(image, stride, size))
                return MediaSample::video(std::move(planar), pts, duration);
            return std::nullopt;
        }
        return MediaSample::video(convert(image, stride, size), pts, duration);
    }

    // Straight from the grab into the encoder's planes: one pass over the picture instead of a BGRA copy
    // that the encoder's thread would convert again.
    std::shared_ptr<const PlanarPicture> convertPlanar(const uint8_t* image, size_t stride, const QSize& source)
    {
        const QSize output = outputSize();
        if (!planes_)
            planes_ = std::make_unique<PlanarPictureConverter>(output.width(), output.height());
        auto made = planes_->blank();
        auto* picture = std::get_if<std::shared_ptr<PlanarPicture>>(&made);
        if (!picture)
            return nullptr;
        if (output == source) {
            BgraToPlanar::convert(image, stride, (*picture)->canvas());
        } else {
            const cv::Mat in(source.height(), source.width(), CV_8UC4, const_cast<uint8_t*>(image), stride);
            cv::resize(in, scaled_, cv::Size(output.width(), output.height()), 0, 0, cv::INTER_AREA);
            BgraToPlanar::convert(scaled_.data, scaled_.step[0], (*picture)->canvas());
        }
        return std::move(*picture);
    }

    // The take's frame: what it was opened for, whatever the display measures now.
    QSize outputSize() const { return configuration_.outputSize.isValid() ? configuration_.outputSize : configuration_.sourceRect.size(); }

    void paintExclusions(uint8_t* image, size_t stride)
    {
        xcb_connection_t* c = connection_->get();
        const QRect& source = source_;
        for (const ExclusionPlan::Region& region : plan_.regions) {
            const QRect local = region.area.translated(-source.topLeft());
            for (int y = local.top(); y <= local.bottom(); ++y)
                std::memset(image + static_cast<size_t>(y) * stride + static_cast<size_t>(local.left()) * 4, 0, static_cast<size_t>(local.width()) * 4);
            for (const ExclusionPlan::Patch& patch : region.patches) {
                const WindowInfo& window = windows_[patch.windowIndex];
                const xcb_pixmap_t pixmap = xcb_generate_id(c);
                xcb_composite_name_window_pixmap(c, window.id, pixmap);
                const QRect inWindow = patch.area.translated(-window.frame.topLeft());
                // A window that vanished or changed since the last refresh just stays cleared until the next one.
                if (grabInto(c, pixmap, inWindow, *patchSegment_)) {
                    const QRect target = patch.area.translated(-source.topLeft());
                    const size_t rowBytes = static_cast<size_t>(target.width()) * 4;
                    for (int y = 0; y < target.height(); ++y)
                        std::memcpy(image + static_cast<size_t>(target.top() + y) * stride + static_cast<size_t>(target.left()) * 4,
                            patchSegment_->data() + static_cast<size_t>(y) * rowBytes, rowBytes);
                }
                xcb_free_pixmap(c, pixmap);
            }
        }
    }

    void drawCursor(uint8_t* image, size_t stride)
    {
        xcb_connection_t* c = connection_->get();
        XcbReply<xcb_xfixes_get_cursor_image_reply_t> cursor(xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
        if (!cursor || cursor->width == 0 || cursor->height == 0)
            return;
        const QRect& source = source_;
        CursorBlend::over(image, stride, source.width(), source.height(), xcb_xfixes_get_cursor_image_cursor_image(cursor.get()), cursor->width,
            cursor->height, cursor->x - cursor->xhot - source.x(), cursor->y - cursor->yhot - source.y());
    }

    std::shared_ptr<const PixelBuffer> convert(const uint8_t* image, size_t stride, const QSize& source)
    {
        const QSize output = outputSize();
        if (!pool_ || pool_->width() != output.width() || pool_->height() != output.height())
            pool_ = PixelBufferPool::make(output.width(), output.height(), 16);
        auto buffer = pool_->take();
        if (output == source) {
            for (int y = 0; y < output.height(); ++y) {
                const auto* in = reinterpret_cast<const uint32_t*>(image + static_cast<size_t>(y) * stride);
                auto* out = reinterpret_cast<uint32_t*>(buffer->row(y));
                for (int x = 0; x < output.width(); ++x)
                    out[x] = in[x] | 0xFF000000u;
            }
        } else {
            const cv::Mat in(source.height(), source.width(), CV_8UC4, const_cast<uint8_t*>(image), stride);
            cv::Mat out(output.height(), output.width(), CV_8UC4, buffer->data(), buffer->bytesPerRow());
            cv::resize(in, out, out.size(), 0, 0, cv::INTER_AREA);
            for (int y = 0; y < output.height(); ++y) {
                auto* row = reinterpret_cast<uint32_t*>(buffer->row(y));
                for (int x = 0; x < output.width(); ++x)
                    row[x] |= 0xFF000000u;
            }
        }
        return buffer;
    }

    // Set before the thread starts, then the grabber thread's alone.
    std::unique_ptr<XcbConnection> connection_;
    Configuration configuration_;
    FrameHandler onFrame_;
    QRect source_; // the rectangle grabbed now: the configured one until the display changes
    ScreenDisplay display_; // the display followed, as it was when the take started
    bool followsScreen_ = false; // the rectangle lies on no one display: the whole screen is followed
    bool grabbed_ = false; // the newest grab read the screen
    std::optional<int64_t> unreadableSince_; // monotonic nanoseconds of the first grab of a failing run
    cv::Mat boxed_; // the take's frame with a display of another shape fitted in
    std::unique_ptr<ShmSegment> frameSegment_;
    std::unique_ptr<ShmSegment> patchSegment_;
    bool cursorAvailable_ = false;
    std::vector<WindowInfo> windows_;
    ExclusionPlan plan_;
    std::shared_ptr<PixelBufferPool> pool_;
    std::unique_ptr<PlanarPictureConverter> planes_;
    cv::Mat scaled_; // a scaled grab on its way into the planes
    std::atomic<bool> stopping_{false};
    std::atomic<int64_t> delivered_{0};
    std::atomic<int64_t> missed_{0};
    std::mutex joinLock_;
    std::thread thread_;
};

X11ScreenCapture::X11ScreenCapture(QByteArray displayName) : displayName_(std::move(displayName)) {}

X11ScreenCapture::~X11ScreenCapture() { stop(); }

std::optional<std::vector<ScreenDisplay>> X11ScreenCapture::availableDisplays()
{
    auto connection = XcbConnection::open(displayName_.isEmpty() ? nullptr : displayName_.constData());
    if (!connection)
        return std::nullopt;
    return X11Displays::list(*connection);
}

std::optional<QString> X11ScreenCapture::start(const Configuration& configuration, FrameHandler onFrame)
{
    stop();
    auto connection = XcbConnection::open(displayName_.isEmpty() ? nullptr : displayName_.constData());
    if (!connection)
        return QStringLiteral("the X display could not be opened");
    auto grabber = std::make_unique<Grabber>(std::move(connection), configuration, std::move(onFrame));
    if (auto error = grabber->prepare())
        return error;
    // Set before its thread starts: the frame handler may ask for the statistics from the first frame on.
    grabber_ = std::move(grabber);
    grabber_->launch();
    return std::nullopt;
}

void X11ScreenCapture::stop()
{
    if (grabber_)
        grabber_->stop();
}

ScreenCapture::Statistics X11ScreenCapture::statistics() const { return grabber_ ? grabber_->statistics() : Statistics{}; }
