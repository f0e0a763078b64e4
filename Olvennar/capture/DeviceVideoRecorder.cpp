#include "capture/DeviceVideoRecorder.h"

#include "capture/SampleBufferRetiming.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/NumberedCopies.h"
#include "platform/system/WorkerPool.h"
#include "takedata/CameraFrameTap.h"
#include "takedata/RecordingClock.h"

#include <QDir>
#include <QFileInfo>
#include <QPromise>

#include <qcorofuture.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double noSpan = std::numeric_limits<double>::quiet_NaN();

// Shortest text that reads back as the same double ("1.5", "0.1", "3").
QString shortest(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return QString::fromLatin1(text, static_cast<int>(result.ptr - text));
}

} // namespace

QString DeviceVideoRecorder::RecorderError::description() const
{
    switch (kind) {
    case Kind::cannotAddInput:
        return QStringLiteral("This device could not be opened.");
    case Kind::cannotAddOutput:
        return QStringLiteral("This device would not provide video frames.");
    case Kind::cannotCreateWriter:
        return QStringLiteral("The camera file could not be created: ") + detail;
    case Kind::appendRejected:
        return QStringLiteral("The camera file stopped taking frames: ") + detail;
    }
    return detail;
}

ErrorInfo DeviceVideoRecorder::RecorderError::info() const
{
    return {QStringLiteral("DeviceVideoRecorder.RecorderError"), static_cast<int>(kind), description()};
}

DeviceVideoRecorder::DeviceVideoRecorder(WriterFactory writerFactory)
    : writerFactory_(std::move(writerFactory))
    , frameTap_(std::make_shared<CameraFrameTap>())
    , previewTask_(QtFuture::makeReadyFuture())
    , segmentStart_(noSpan)
    , lastSampleSeconds_(noSpan)
{
    if (!writerFactory_)
        writerFactory_ = defaultWriterFactory();
}

DeviceVideoRecorder::~DeviceVideoRecorder()
{
    // No frame may reach the queue once teardown starts; a take still open is finished so its file is complete.
    dropSubscription();
    writerQueue_.sync([this] { finishOpenWriter(); });
}

// MARK: - Formats

std::optional<size_t> DeviceVideoRecorder::bestFormatIndex(const std::vector<CameraHub::Format>& formats, bool preferTall)
{
    struct Key {
        bool sixty;
        int widthScore;
        long long shape;
        auto operator<=>(const Key&) const = default;
    };
    std::optional<size_t> best;
    Key bestKey{};
    for (size_t i = 0; i < formats.size(); ++i) {
        const CameraHub::Format& format = formats[i];
        const int w = format.width;
        const int h = format.height;
        const long long sixteenByNine = 9LL * w / 16; // integer division truncates, as ranked
        const Key key{format.topRate() >= 59.5, w <= 1920 ? w : 1920 - w, preferTall ? h : -std::llabs(h - sixteenByNine)};
        // Strictly better replaces: among equals the earlier listed format stays.
        if (!best || key > bestKey) {
            best = i;
            bestKey = key;
        }
    }
    return best;
}

MediaTime DeviceVideoRecorder::frameDurationFor(double topRate)
{
    const double target = topRate >= 60 ? 60 : topRate;
    if (!(target > 0) || !std::isfinite(target))
        return MediaTime::invalid();
    const long long rounded = std::llround(target);
    if (rounded < 1)
        return MediaTime::invalid();
    return MediaTime(1, static_cast<int32_t>(rounded));
}

void DeviceVideoRecorder::selectBestFormat(CameraHub& device, bool preferTall)
{
    const std::vector<CameraHub::Format> formats = device.formats();
    const std::optional<size_t> winner = bestFormatIndex(formats, preferTall);
    if (!winner)
        return;
    const CameraHub::Format& format = formats[*winner];
    const MediaTime duration = frameDurationFor(format.topRate());
    const bool unchanged = device.activeFormatIndex() == winner && (!duration.isValid() || device.activeFrameDuration() == duration);
    if (!unchanged && !device.setActiveFormat(*winner, duration))
        return; // a busy or refusing device keeps what it has
    const double target = format.topRate() >= 60 ? 60 : format.topRate();
    const QString line = QStringLiteral("camera format: %1x%2 @%3 — %4")
                             .arg(format.width)
                             .arg(format.height)
                             .arg(std::llround(target))
                             .arg(device.localizedName());
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// MARK: - Device

std::optional<DeviceVideoRecorder::RecorderError> DeviceVideoRecorder::configure(std::shared_ptr<CameraHub> device, bool mirrored)
{
    const bool wasPreviewing = isPreviewing();
    dropSubscription();
    device_.reset();
    isAttached_ = false;
    if (!device || !device->isConnected())
        return RecorderError{RecorderError::Kind::cannotAddInput, {}};
    selectBestFormat(*device, preferTallFormat);
    appliedTall_ = preferTallFormat;
    appliedFormat_ = device->activeFormatIndex();
    device_ = device;
    if (!device->activeFormat())
        return RecorderError{RecorderError::Kind::cannotAddOutput, {}};

    CameraHub::Handlers handlers;
    handlers.frame = [this](const MediaSample& sample) { captureOutput(sample); };
    const QString name = device->localizedName();
    handlers.disconnected = [name] { Diagnostics::log(QStringLiteral("device recorder: camera disconnected — ") + name); };
    subscription_ = std::shared_ptr<CameraHub::Subscription>(device->subscribe(std::move(handlers), mirrored).release());
    setMirrored(mirrored);
    if (preferTallFormat) {
        selectBestFormat(*device, true);
        appliedFormat_ = device->activeFormatIndex();
    }
    if (const auto format = device->activeFormat())
        setFrameSize(QSize(format->width, format->height));
    isAttached_ = true;
    if (wasPreviewing)
        startPreview();
    return std::nullopt;
}

void DeviceVideoRecorder::setMirrored(bool mirrored)
{
    mirrored_ = mirrored;
    if (subscription_)
        subscription_->setMirrored(mirrored);
}

void DeviceVideoRecorder::refreshFormat()
{
    if (!device_ || !isAttached_)
        return;
    if (appliedTall_ && *appliedTall_ == preferTallFormat && device_->activeFormatIndex() == appliedFormat_)
        return;
    selectBestFormat(*device_, preferTallFormat);
    appliedTall_ = preferTallFormat;
    appliedFormat_ = device_->activeFormatIndex();
    if (const auto format = device_->activeFormat(); format && format->width >= 1 && format->height >= 1)
        setFrameSize(QSize(format->width, format->height));
}

void DeviceVideoRecorder::detach()
{
    if (!isAttached_)
        return;
    dropSubscription();
    device_.reset();
    isAttached_ = false;
    frameTap_->clear();
}

void DeviceVideoRecorder::startPreview()
{
    if (!subscription_ || subscription_->isStarted())
        return;
    // Opening a camera stream can take a moment; keep it off the caller's thread. Starts and stops run in
    // the order asked, each waiting for the one before it on the take's pool.
    previewTask_ = WorkerPool::takes().run([previous = previewTask_, subscription = subscription_]() mutable {
        previous.waitForFinished();
        subscription->start();
    });
}

void DeviceVideoRecorder::stopPreview()
{
    if (!subscription_)
        return;
    previewTask_ = WorkerPool::takes().run([previous = previewTask_, subscription = subscription_]() mutable {
        previous.waitForFinished();
        subscription->stop();
    });
}

void DeviceVideoRecorder::dropSubscription()
{
    // A pending start must not revive a stream whose frames would reach a recorder that moved on.
    previewTask_.waitForFinished();
    subscription_.reset();
}

bool DeviceVideoRecorder::isPreviewing() const { return subscription_ && subscription_->isStarted(); }

QSize DeviceVideoRecorder::frameSize() const
{
    std::lock_guard guard(sizeLock_);
    return frameSize_;
}

void DeviceVideoRecorder::setFrameSize(QSize size)
{
    std::lock_guard guard(sizeLock_);
    frameSize_ = size;
}

MediaTime DeviceVideoRecorder::frameDuration() const { return device_ ? device_->activeFrameDuration() : MediaTime::invalid(); }

// MARK: - Take

void DeviceVideoRecorder::startRecording(const QString& path, std::shared_ptr<RecordingClock> clock)
{
    const QString target = NumberedCopies::freePath(path);
    if (target != path)
        Diagnostics::log(QStringLiteral("device recorder: ") + QFileInfo(path).fileName() + QStringLiteral(" already exists, writing ")
            + QFileInfo(target).fileName());
    // Posted, not waited for: the start's GUI thread never queues behind frames. Frames posted later come after.
    writerQueue_.async([this, target, clock = std::move(clock)]() mutable {
        finishOpenWriter();
        clock_ = std::move(clock);
        outputPath_ = target;
        sessionOpen_ = false;
        recording_ = true;
        warned_ = false;
        segments_.clear();
        segmentStart_ = noSpan;
        lastSampleSeconds_ = noSpan;
        lastWritten_ = MediaTime::invalid();
    });
}

QCoro::Task<std::optional<QString>> DeviceVideoRecorder::stopRecording()
{
    auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    QFuture<std::optional<QString>> future = promise->future();
    promise->start();
    writerQueue_.async([this, promise] {
        std::optional<QString> result;
        if (recording_ && writer_) {
            recording_ = false;
            closeOpenSpan();
            if (sessionOpen_ && writer_->isWriting() && writer_->finish())
                result = writer_->location();
        } else {
            recording_ = false;
            closeOpenSpan();
        }
        writer_.reset();
        sessionOpen_ = false;
        promise->addResult(result);
        promise->finish();
    });
    co_return co_await future;
}

std::vector<ClipSegment> DeviceVideoRecorder::recordedSegments()
{
    std::vector<ClipSegment> copy;
    writerQueue_.sync([this, &copy] { copy = segments_; });
    return copy;
}

void DeviceVideoRecorder::finishOpenWriter()
{
    if (!writer_)
        return;
    // A take that was never stopped still leaves a complete movie rather than one without its end.
    if (sessionOpen_ && writer_->isWriting() && !writer_->finish())
        Diagnostics::log(QStringLiteral("device recorder: the previous take's file could not be finished: ") + writer_->errorText());
    closeOpenSpan();
    writer_.reset();
    sessionOpen_ = false;
    recording_ = false;
}

// MARK: - Frames

void DeviceVideoRecorder::captureOutput(const MediaSample& sample)
{
    if (!sample.pixels || sample.pixels->isEmpty())
        return;
    frameTap_->store(sample.pixels);
    writerQueue_.async([this, sample] { write(sample); });
}

void DeviceVideoRecorder::write(const MediaSample& sample)
{
    if (!recording_ || !clock_)
        return;
    const MediaTime captureTime = sample.presentationTime();
    const std::optional<MediaTime> takeTime = clock_->adjust(captureTime, false);
    if (!takeTime)
        return;
    if (!writer_) {
        if (outputPath_.isEmpty() || !createWriter(sample))
            return;
    }
    if (!sessionOpen_) {
        if (!writer_->startWriting()) {
            reportWriterFailure(writer_->errorText());
            writer_.reset(); // the next frame tries again
            return;
        }
        writer_->startSession(MediaTime::zero());
        sessionOpen_ = true;
    }
    if (!writer_->isReadyForMoreMediaData())
        return;
    if (lastWritten_.isValid() && *takeTime <= lastWritten_)
        return;
    const std::optional<MediaSample> retimed = SampleBufferRetiming::retimed(sample, captureTime - *takeTime);
    if (!retimed)
        return;
    if (!lastWritten_.isValid() && *takeTime > MediaTime::zero() && !anchorAtZero(*retimed, *takeTime))
        return;
    if (!writer_->append(*retimed)) {
        Diagnostics::log(QStringLiteral("device recorder append rejected at ") + shortest(takeTime->seconds()) + QStringLiteral("s"));
        warnOnce({RecorderError::Kind::appendRejected, writer_->errorText()});
        return;
    }
    lastWritten_ = *takeTime;
    noteSample(takeTime->seconds());
}

bool DeviceVideoRecorder::createWriter(const MediaSample& sample)
{
    const int w = sample.pixels->width();
    const int h = sample.pixels->height();
    if (w < 16 || h < 16)
        return false;
    Diagnostics::log(QStringLiteral("camera first frame: %1x%2 (tall format asked: %3) -> %4")
                         .arg(w)
                         .arg(h)
                         .arg(preferTallFormat ? QStringLiteral("true") : QStringLiteral("false"))
                         .arg(QFileInfo(outputPath_).fileName()));
    MovieSettings settings;
    settings.width = w;
    settings.height = h;
    settings.averageBitRate = static_cast<int64_t>(static_cast<double>(w) * h * 6.0);
    if (const MediaTime duration = sample.duration(); duration.isNumeric() && duration.seconds() > 0)
        settings.expectedFrameRate = std::max(1, static_cast<int>(std::lround(1.0 / duration.seconds())));
    QString error;
    std::unique_ptr<Writer> writer = writerFactory_(outputPath_, settings, error);
    if (!writer) {
        reportWriterFailure(error);
        return false;
    }
    writer_ = std::move(writer);
    setFrameSize(QSize(w, h));
    if (onFrameSizeKnown)
        onFrameSizeKnown(QSize(w, h));
    Diagnostics::log(QStringLiteral("device recorder writer created at %1x%2").arg(w).arg(h));
    return true;
}

bool DeviceVideoRecorder::anchorAtZero(const MediaSample& first, const MediaTime& takeTime)
{
    // A fragmented movie starts at its first sample, so a camera that comes in late would slide to the
    // take's start and run early against the screen. Holding its first picture from 0 keeps the file on
    // take time; the spans still say when real frames began.
    const std::optional<MediaSample> held = SampleBufferRetiming::retimed(first, takeTime);
    if (!held)
        return false;
    if (!writer_->append(*held)) {
        Diagnostics::log(QStringLiteral("device recorder append rejected at 0s"));
        warnOnce({RecorderError::Kind::appendRejected, writer_->errorText()});
        return false;
    }
    lastWritten_ = MediaTime::zero();
    return true;
}

void DeviceVideoRecorder::reportWriterFailure(const QString& detail)
{
    // Every later frame retries; the log and the owner hear about it once per take.
    if (warned_)
        return;
    const RecorderError failure{RecorderError::Kind::cannotCreateWriter, detail};
    Diagnostics::log(failure.info(), QStringLiteral("device recorder writer"));
    warnOnce(failure);
}

void DeviceVideoRecorder::warnOnce(const RecorderError& error)
{
    if (warned_)
        return;
    warned_ = true;
    if (onWarning)
        onWarning(error);
}

// MARK: - Spans

void DeviceVideoRecorder::noteSample(double seconds)
{
    if (std::isnan(segmentStart_)) {
        segmentStart_ = seconds;
    } else if (seconds - lastSampleSeconds_ > spanGapSeconds) {
        segments_.push_back({segmentStart_, lastSampleSeconds_});
        segmentStart_ = seconds;
    }
    lastSampleSeconds_ = seconds;
}

void DeviceVideoRecorder::closeOpenSpan()
{
    if (!std::isnan(segmentStart_) && !std::isnan(lastSampleSeconds_))
        segments_.push_back({segmentStart_, lastSampleSeconds_});
    segmentStart_ = noSpan;
    lastSampleSeconds_ = noSpan;
}
