// The camera-only recorder's devices: camera format, mirroring, preview and sample delivery. What happens to a
// sample on the writer queue is in CameraOnlyRecorderWriter.cpp.
#include "capture/CameraOnlyRecorder.h"

#include "capture/DeviceVideoRecorder.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/WorkerPool.h"
#include "shorts/ShortFramingFormat.h"
#include "takedata/CameraFrameTap.h"
#include "takedata/SpeechAudioSink.h"

#include <cmath>
#include <utility>

namespace {

bool isSixteenByNine(const CameraHub::Format& format) { return format.width * 9 == format.height * 16; }

} // namespace

QString CameraOnlyRecorder::RecorderError::description() const
{
    switch (kind) {
    case Kind::writerFailed:
        return QStringLiteral("Could not write the recording: ") + detail;
    case Kind::cannotAddInput:
        return QStringLiteral("The camera or microphone could not be opened.");
    case Kind::cannotAddOutput:
        return QStringLiteral("The camera or microphone would not provide data.");
    case Kind::microphoneStopped:
        return QStringLiteral("The microphone stopped before the take began: ") + detail + QLatin1Char('.');
    }
    return detail;
}

ErrorInfo CameraOnlyRecorder::RecorderError::info() const
{
    return {QStringLiteral("CameraOnlyRecorder.RecorderError"), static_cast<int>(kind), description()};
}

CameraOnlyRecorder::CameraOnlyRecorder(Sources sources)
    : sources_(std::move(sources))
    , frameTap_(std::make_shared<CameraFrameTap>())
    , streamTask_(QtFuture::makeReadyFuture())
{
}

CameraOnlyRecorder::~CameraOnlyRecorder()
{
    // No sample may reach the queues once teardown starts; an open take keeps a complete file.
    detachMicrophone();
    dropSubscription();
    videoQueue_.sync([] { });
    audioQueue_.sync([] { });
    writerQueue_.sync([this] { closeWriter(); });
}

// MARK: - Formats

CameraOnlyRecorder::FormatChoice CameraOnlyRecorder::chooseFormat(const std::vector<CameraHub::Format>& formats, bool shortProfile, std::optional<int> maxHeight)
{
    if (shortProfile)
        return {FormatRule::shortFormat, ShortFraming::selectFormat(formats, maxHeight)};
    if (maxHeight)
        return {FormatRule::cappedFormat, ShortFraming::selectFormat(formats, maxHeight)};
    const bool hasTall = std::any_of(formats.begin(), formats.end(), [](const CameraHub::Format& f) { return f.width == 1920 && f.height > 1080; });
    if (hasTall)
        return {FormatRule::tallFormat, DeviceVideoRecorder::bestFormatIndex(formats, true)};
    // The high preset: a 16:9 format no wider than 1920 that runs at 30 fps before one that does not (a 1080p
    // mode at 5 fps would film at 5 fps), then the widest, first listed on a tie.
    std::optional<size_t> best;
    const auto rank = [&](size_t i) { return std::pair(ShortFraming::runsAtThirty(formats[i]), formats[i].width); };
    for (size_t i = 0; i < formats.size(); ++i) {
        const CameraHub::Format& format = formats[i];
        if (!isSixteenByNine(format) || format.width > 1920)
            continue;
        if (!best || rank(i) > rank(*best))
            best = i;
    }
    return {FormatRule::highPreset, best};
}

QString CameraOnlyRecorder::setupKey(const QString& cameraID, bool shortProfile, std::optional<int> maxHeight)
{
    return cameraID + QLatin1Char('|') + (shortProfile ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('|')
        + QString::number(maxHeight.value_or(0));
}

void CameraOnlyRecorder::applyFormatProfile(CameraHub& camera)
{
    const std::vector<CameraHub::Format> formats = camera.formats();
    const FormatChoice choice = chooseFormat(formats, shortProfile, maxHeight);
    const QString name = camera.localizedName();
    const auto size = [](const CameraHub::Format& f) { return QStringLiteral("%1x%2").arg(f.width).arg(f.height); };
    switch (choice.rule) {
    case FormatRule::shortFormat: {
        const std::optional<QSize> applied = ShortFraming::selectFormat(camera, maxHeight);
        Diagnostics::log(QStringLiteral("short format: ")
            + (applied ? QStringLiteral("%1x%2@30").arg(applied->width()).arg(applied->height()) : QStringLiteral("unchanged"))
            + QStringLiteral(" on ") + name);
        return;
    }
    case FormatRule::cappedFormat: {
        const std::optional<QSize> applied = ShortFraming::selectFormat(camera, maxHeight);
        Diagnostics::log(QStringLiteral("just me format: ")
            + (applied ? QStringLiteral("%1x%2").arg(applied->width()).arg(applied->height()) : QStringLiteral("unchanged"))
            + QStringLiteral(" (cap %1p) on ").arg(*maxHeight) + name);
        return;
    }
    case FormatRule::tallFormat: {
        DeviceVideoRecorder::selectBestFormat(camera, true);
        if (const auto active = camera.activeFormat())
            Diagnostics::log(QStringLiteral("just me format: ") + size(*active) + QStringLiteral(" (tall, hands and desk) on ") + name);
        return;
    }
    case FormatRule::highPreset: {
        if (!choice.index || camera.activeFormatIndex() == choice.index)
            return;
        const CameraHub::Format& format = formats[*choice.index];
        camera.setActiveFormat(*choice.index, ShortFraming::runsAtThirty(format) ? MediaTime(1, 30) : DeviceVideoRecorder::frameDurationFor(format.topRate()));
        return;
    }
    }
}

// MARK: - Configuration

std::optional<ErrorInfo> CameraOnlyRecorder::attachCamera(const QString& cameraID)
{
    dropSubscription();
    camera_.reset();
    cameraSetupKey_.reset();
    if (!sources_.openCamera)
        return RecorderError{RecorderError::Kind::cannotAddInput, {}}.info();
    auto opened = sources_.openCamera(cameraID);
    if (const CameraHub::Error* error = std::get_if<CameraHub::Error>(&opened))
        return error->info();
    std::shared_ptr<CameraHub> camera = std::get<std::shared_ptr<CameraHub>>(std::move(opened));
    if (!camera || !camera->isConnected())
        return RecorderError{RecorderError::Kind::cannotAddInput, {}}.info();
    applyFormatProfile(*camera);
    cameraSetupKey_ = setupKey(camera->uniqueID(), shortProfile, maxHeight);
    if (!camera->activeFormat())
        return RecorderError{RecorderError::Kind::cannotAddOutput, {}}.info();
    const uint64_t number = ++subscriptionNumber_;
    lost_ = false;
    CameraHub::Handlers handlers;
    handlers.frame = [this, number](const MediaSample& sample) {
        if (subscriptionNumber_.load() == number)
            delivering_ = true;
        // A writer that lags loses frames here rather than piling them up.
        if (pendingFrames_.load() >= writerBacklogFrames) {
            ++droppedFrames_;
            return;
        }
        ++pendingFrames_;
        videoQueue_.async([this, sample] { deliver(sample, true); });
    };
    handlers.disconnected = [this, number] {
        if (subscriptionNumber_.load() == number)
            streamLost(QStringLiteral("the camera was disconnected"));
        writerQueue_.async([this] { cameraDisconnected(); });
    };
    subscription_ = std::shared_ptr<CameraHub::Subscription>(camera->subscribe(std::move(handlers), fileMirrored_).release());
    camera_ = std::move(camera);
    const auto format = camera_->activeFormat();
    setFrameSize(QSize(format->width, format->height));
    return std::nullopt;
}

std::optional<ErrorInfo> CameraOnlyRecorder::configurePreview(const QString& cameraID, bool mirrored)
{
    detachMicrophone();
    const auto error = attachCamera(cameraID);
    setMirrored(mirrored);
    return error;
}

std::optional<ErrorInfo> CameraOnlyRecorder::configure(const QString& cameraID, const Microphone& microphone, bool mirrored)
{
    detachMicrophone();
    const bool keep = isRunning() && subscription_ && camera_ && camera_->uniqueID() == cameraID
        && cameraSetupKey_ == setupKey(cameraID, shortProfile, maxHeight);
    if (keep) {
        Diagnostics::log(QStringLiteral("camera-only: camera already running, keeping it (no reconfigure at Record)"));
    } else if (auto error = attachCamera(cameraID)) {
        setMirrored(mirrored);
        return error;
    }
    if (!sources_.makeMicrophone)
        return RecorderError{RecorderError::Kind::cannotAddInput, {}}.info();
    std::unique_ptr<AudioCapture> capture = sources_.makeMicrophone();
    soundArrived_ = false;
    {
        std::lock_guard guard(microphoneLostLock_);
        microphoneLost_.reset();
    }
    AudioCapture::Request request;
    request.source = microphone.uniqueID.isEmpty() ? AudioCapture::Source::defaultMicrophone : AudioCapture::Source::named;
    request.sourceName = microphone.uniqueID;
    request.sampleRate = 48000;
    request.channels = 1;
    // Voice follow hears the sound as it is read: the take's blocks may be held while their place is found.
    request.onRead = [this](const MediaSample& block) {
        audioQueue_.async([this, block] {
            if (sources_.speech && feedsSpeech.load() && block.audio && block.audio->frameCount() > 0)
                sources_.speech->feed(block);
        });
    };
    const auto refused = capture->start(
        request, [this](const MediaSample& block) { audioQueue_.async([this, block] { captureOutput(block); }); },
        [this](const QString& reason) { microphoneStopped(reason); });
    if (refused) {
        Diagnostics::log(QStringLiteral("camera-only microphone ") + microphone.localizedName + QStringLiteral(": ") + *refused);
        setMirrored(mirrored);
        return RecorderError{RecorderError::Kind::cannotAddInput, *refused}.info();
    }
    microphone_ = std::move(capture);
    hasMicrophone_ = true;
    setMirrored(mirrored);
    return std::nullopt;
}

void CameraOnlyRecorder::setMirrored(bool mirrored)
{
    const bool fileSide = fileMirrorOverride.value_or(mirrored);
    fileMirrored_ = fileSide;
    previewMirrored_ = mirrored;
    previewDisplayMirrored_ = mirrored;
    // The file's side is applied where frames enter; a preview flips the tap when it shows the other side.
    if (subscription_)
        subscription_->setMirrored(fileSide);
}

void CameraOnlyRecorder::startPreview()
{
    if (!subscription_ || running_)
        return;
    running_ = true;
    delivering_ = false;
    // Each start or stop waits for the one before it on a pool thread; Qt 6.4's future continuations crashed
    // here when a start and a stop followed each other quickly. The destructor waits for the task.
    streamTask_ = WorkerPool::takes().run([this, previous = streamTask_, subscription = subscription_, number = subscriptionNumber_.load()]() mutable {
        previous.waitForFinished();
        if (!subscription->start() && subscriptionNumber_.load() == number)
            streamLost(QStringLiteral("the camera would not stream"));
    });
}

void CameraOnlyRecorder::stopPreview()
{
    frameTap_->clear();
    detachMicrophone();
    if (!subscription_ || !running_)
        return;
    running_ = false;
    delivering_ = false;
    streamTask_ = WorkerPool::takes().run([previous = streamTask_, subscription = subscription_]() mutable {
        previous.waitForFinished();
        subscription->stop();
    });
}

void CameraOnlyRecorder::waitUntilFlowing()
{
    if (microphone_)
        microphone_->waitUntilFlowing();
}

void CameraOnlyRecorder::detachMicrophone()
{
    hasMicrophone_ = false;
    if (std::unique_ptr<AudioCapture> microphone = std::move(microphone_))
        microphone->stop();
}

void CameraOnlyRecorder::dropSubscription()
{
    // A pending start must not revive a stream whose frames would reach a session that moved on.
    streamTask_.waitForFinished();
    subscription_.reset();
    running_ = false;
    delivering_ = false;
}

void CameraOnlyRecorder::streamLost(const QString& why)
{
    lost_ = true;
    delivering_ = false;
    Diagnostics::log(QStringLiteral("camera-only: the stream stopped: ") + why);
    if (onStreamLost)
        onStreamLost();
}

void CameraOnlyRecorder::microphoneStopped(const QString& reason)
{
    {
        std::lock_guard guard(microphoneLostLock_);
        if (!microphoneLost_)
            microphoneLost_ = reason;
    }
    Diagnostics::log(QStringLiteral("camera-only: the microphone stopped: ") + reason);
    // A take under way ends with what it has; one not yet armed is refused at its start.
    writerQueue_.async([this, reason] {
        if (recording_)
            failTake(reason);
        else if (onMicrophoneStoppedAhead_)
            onMicrophoneStoppedAhead_(reason);
    });
}

void CameraOnlyRecorder::setOnFailure(std::function<void(const Failure&)> reaction)
{
    writerQueue_.sync([this, &reaction] { onFailure_ = std::move(reaction); });
}

void CameraOnlyRecorder::setOnMicrophoneStoppedAhead(std::function<void(const QString&)> reaction)
{
    writerQueue_.sync([this, &reaction] { onMicrophoneStoppedAhead_ = std::move(reaction); });
}

QSize CameraOnlyRecorder::frameSize() const
{
    std::lock_guard guard(sizeLock_);
    return frameSize_;
}

void CameraOnlyRecorder::setFrameSize(QSize size)
{
    std::lock_guard guard(sizeLock_);
    frameSize_ = size;
}

// MARK: - Delivery

void CameraOnlyRecorder::captureOutput(const MediaSample& sample) { deliver(sample, false); }

void CameraOnlyRecorder::deliver(const MediaSample& sample, bool counted)
{
    const bool video = sample.kind == MediaSample::Kind::video;
    // A sample without data reaches neither the tap nor the writer.
    if (video ? !sample.pixels || sample.pixels->isEmpty() : !sample.audio || sample.audio->frameCount() == 0) {
        if (counted)
            --pendingFrames_;
        return;
    }
    if (video) {
        frameTap_->store(sample.pixels);
    } else {
        soundArrived_ = true;
    }
    writerQueue_.async([this, sample, video, counted] {
        write(sample, video);
        if (counted)
            --pendingFrames_;
    });
}

void CameraOnlyRecorder::drainForTesting()
{
    videoQueue_.sync([] { });
    audioQueue_.sync([] { });
    writerQueue_.sync([] { });
}
