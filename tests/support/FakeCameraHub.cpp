#include "support/FakeCameraHub.h"

#include "platform/system/HostClock.h"

#include <QPainter>

#include <chrono>
#include <cmath>
#include <cstring>

namespace {
constexpr int counterBits = 32;
constexpr int counterRows = 8;
} // namespace

std::shared_ptr<FakeCameraHub> FakeCameraHub::make(std::vector<Format> formats, QString name)
{
    std::shared_ptr<FakeCameraHub> hub(new FakeCameraHub());
    hub->formats_ = formats.empty() ? std::vector<Format>{landscape(320, 180, 30)} : std::move(formats);
    hub->name_ = std::move(name);
    if (!hub->formats_.empty())
        hub->active_ = 0;
    return hub;
}

CameraHub::Format FakeCameraHub::landscape(int width, int height, double rate, PixelFormat pixelFormat)
{
    return Format{pixelFormat, width, height, {{rate, rate}}};
}

FakeCameraHub::~FakeCameraHub()
{
    stopPlayer_ = true;
    if (player_.joinable())
        player_.join();
}

std::optional<size_t> FakeCameraHub::activeFormatIndex() const
{
    std::lock_guard control(controlLock_);
    return active_;
}

MediaTime FakeCameraHub::activeFrameDuration() const
{
    std::lock_guard control(controlLock_);
    return frameDuration_;
}

bool FakeCameraHub::setActiveFormat(size_t index, const MediaTime& frameDuration)
{
    std::lock_guard control(controlLock_);
    if (refuseConfiguration.load() || index >= formats_.size())
        return false;
    active_ = index;
    frameDuration_ = frameDuration;
    ++formatChanges_;
    return true;
}

bool FakeCameraHub::startStreaming()
{
    ++streamStarts_;
    streaming_ = true;
    return true;
}

void FakeCameraHub::stopStreaming() { streaming_ = false; }

double FakeCameraHub::rate() const
{
    std::lock_guard control(controlLock_);
    if (frameDuration_.isNumeric() && frameDuration_.seconds() > 0)
        return 1.0 / frameDuration_.seconds();
    if (active_ && formats_[*active_].topRate() > 0)
        return formats_[*active_].topRate();
    return 30.0;
}

bool FakeCameraHub::emitFrame(double captureSeconds)
{
    if (!streaming_.load() || !isConnected())
        return false;
    int width = 0;
    int height = 0;
    {
        std::lock_guard control(controlLock_);
        if (!active_)
            return false;
        width = formats_[*active_].width;
        height = formats_[*active_].height;
    }
    const int64_t counter = counter_++;
    std::shared_ptr<const PixelBuffer> frame;
    {
        std::lock_guard still(stillLock_);
        if (!still_.isNull()) {
            if (!stillFrame_ || stillFrame_->width() != width || stillFrame_->height() != height) {
                auto made = std::make_shared<PixelBuffer>(width, height);
                QImage canvas(made->row(0), width, height, static_cast<qsizetype>(made->bytesPerRow()), QImage::Format_ARGB32_Premultiplied);
                canvas.fill(Qt::black);
                QPainter painter(&canvas);
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(stillRect(QSizeF(still_.size())), still_);
                stillFrame_ = std::move(made);
            }
            frame = stillFrame_;
        }
    }
    if (!frame)
        frame = pattern(width, height, counter);
    deliver(std::move(frame), MediaTime::fromSeconds(captureSeconds), MediaTime::fromSeconds(1.0 / rate()));
    return true;
}

void FakeCameraHub::setStill(const QImage& image)
{
    std::lock_guard still(stillLock_);
    still_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    stillFrame_.reset();
}

QRectF FakeCameraHub::stillRect(QSizeF image) const
{
    QSizeF frame;
    {
        std::lock_guard control(controlLock_);
        if (active_)
            frame = QSizeF(formats_[*active_].width, formats_[*active_].height);
    }
    if (image.isEmpty() || frame.isEmpty())
        return {};
    const QSizeF fitted = image.scaled(frame, Qt::KeepAspectRatio);
    return QRectF((frame.width() - fitted.width()) / 2, (frame.height() - fitted.height()) / 2, fitted.width(), fitted.height());
}

void FakeCameraHub::play(std::vector<Run> runs)
{
    waitForScript();
    stopPlayer_ = false;
    player_ = std::thread([this, runs = std::move(runs)] {
        using Clock = std::chrono::steady_clock;
        for (const Run& run : runs) {
            const double period = 1.0 / rate();
            const auto start = Clock::now();
            const int frames = static_cast<int>(std::lround(run.seconds / period));
            for (int i = 0; i < frames && !stopPlayer_.load(); ++i) {
                std::this_thread::sleep_until(start + std::chrono::duration<double>(i * period));
                emitFrame(HostClock::nowSeconds());
            }
            // A hub going away ends the script at once.
            if (stopPlayer_.load())
                return;
            std::this_thread::sleep_until(start + std::chrono::duration<double>(frames * period + run.stallAfter));
        }
    });
}

void FakeCameraHub::waitForScript()
{
    if (player_.joinable())
        player_.join();
}

std::shared_ptr<PixelBuffer> FakeCameraHub::pattern(int width, int height, int64_t counter)
{
    auto frame = std::make_shared<PixelBuffer>(width, height);
    const int blockWidth = width / counterBits;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = frame->row(y);
        for (int x = 0; x < width; ++x) {
            uint8_t* p = row + x * 4;
            if (y < counterRows && blockWidth > 0 && x < blockWidth * counterBits) {
                const int bit = counterBits - 1 - x / blockWidth; // most significant block on the left
                const uint8_t v = ((counter >> bit) & 1) ? 255 : 0;
                p[0] = p[1] = p[2] = v;
            } else {
                p[0] = static_cast<uint8_t>(255 * x / std::max(1, width - 1));
                p[1] = static_cast<uint8_t>(255 * y / std::max(1, height - 1));
                p[2] = static_cast<uint8_t>((counter * 8) & 0xff);
            }
            p[3] = 255;
        }
    }
    return frame;
}

int64_t FakeCameraHub::readCounter(const PixelBuffer& frame, bool mirrored)
{
    const int blockWidth = frame.width() / counterBits;
    if (blockWidth <= 0 || frame.height() < counterRows)
        return -1;
    int64_t counter = 0;
    const uint8_t* row = frame.row(counterRows / 2);
    for (int block = 0; block < counterBits; ++block) {
        int x = block * blockWidth + blockWidth / 2;
        if (mirrored)
            x = frame.width() - 1 - x;
        const uint8_t v = row[x * 4 + 1];
        if (v > 64 && v < 192)
            return -1;
        counter = (counter << 1) | (v >= 192 ? 1 : 0);
    }
    return counter;
}
