#include "capture/ScreenRecorder.h"

#include "capture/SampleBufferRetiming.h"
#include "capture/ScreenGeometry.h"
#include "takedata/SpeechAudioSink.h"
#include "capture/WindowFilter.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/system/HostClock.h"
#include "takedata/RecordingClock.h"
#include "platform/media/MovieWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include "platform/system/WorkerPool.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
// Frames the writer may have queued before new ones are dropped, like a capture stream's queue depth.
constexpr size_t queueDepth = 12;
// Sound blocks (of both tracks) kept while the first frame is on its way: several seconds of 10 ms blocks.
constexpr size_t soundHeldBeforeFirstFrame = 800;

// The part of a sound block from `skipFrames` on, stamped where that part starts.
std::optional<MediaSample> tailOf(const MediaSample& sample, int64_t skipFrames)
{
    const AudioBlock& block = *sample.audio;
    if (skipFrames <= 0 || skipFrames >= block.frameCount())
        return std::nullopt;
    auto tail = std::make_shared<AudioBlock>();
    tail->sampleRate = block.sampleRate;
    tail->channels = block.channels;
    tail->samples.assign(block.samples.begin() + skipFrames * block.channels, block.samples.end());
    return MediaSample::sound(std::move(tail), sample.presentationTime() + MediaTime(skipFrames, block.sampleRate));
}
}

QString ScreenRecorder::RecorderError::errorDescription() const
{
    switch (kind_) {
    case Kind::writerFailed:
        return QStringLiteral("Nothing was recorded — ") + detail_;
    case Kind::captureFailed:
        return QStringLiteral("Capture could not start: ") + detail_;
    case Kind::diskFull:
        return QStringLiteral("Recording stopped: the disk is full. Saved up to ") + detail_ + QLatin1Char('.');
    case Kind::screenPermissionStale:
        break;
    }
    return QStringLiteral("The X display is refusing screen access. Make sure %1 runs in an X11 session with access to the display, then quit and reopen the app.")
        .arg(Edition::appName());
}

ErrorInfo ScreenRecorder::RecorderError::info() const
{
    return {QStringLiteral("ScreenRecorder.RecorderError"), static_cast<int>(kind_), errorDescription()};
}

QString ScreenRecorder::kindName(int kind)
{
    switch (kind) {
    case 0:
        return QStringLiteral("screen");
    case 1:
        return QStringLiteral("system audio");
    case 2:
        return QStringLiteral("microphone");
    default:
        return QStringLiteral("unknown");
    }
}

ScreenRecorder::ScreenRecorder(RecordingClock& clock, Sources sources) : clock_(clock), sources_(std::move(sources)) {}

ScreenRecorder::~ScreenRecorder()
{
    stopSources();
    // Blocks already on the microphone queue reach the writer queue, which then ignores them.
    micQueue_.sync([] {});
    writerQueue_.sync([this] {
        if (writer_ && !stopRequested_)
            writer_->cancelWriting();
        stopRequested_ = true;
    });
}

std::optional<std::vector<ScreenDisplay>> ScreenRecorder::availableDisplays(ScreenCapture& screen) { return screen.availableDisplays(); }

std::optional<ScreenRecorder::RecorderError> ScreenRecorder::start(const Options& options, const QString& rawPath)
{
    rawPath_ = rawPath;
    if (!sources_.screen || !sources_.screen->availableDisplays()) {
        Diagnostics::log(ErrorInfo{QStringLiteral("X11"), 1, QStringLiteral("the X display could not be opened")}, QStringLiteral("XDisplay"));
        return RecorderError::screenPermissionStale();
    }
    const QRect frame = options.display.frame;
    const QRectF source = ScreenGeometry::sourceRect(frame.width(), frame.height());
    // X11 pixels are the display's own units: a backing scale of 1.
    const QSize size = ScreenGeometry::outputSize(source, 1.0, options.targetHeight);
    pixelSize_ = size;

    ScreenCapture::Configuration configuration;
    configuration.sourceRect = QRect(frame.x() + qRound(source.x()), frame.y() + qRound(source.y()), qRound(source.width()), qRound(source.height()));
    configuration.outputSize = size;
    configuration.frameRate = options.frameRate > 0 ? options.frameRate : 60;
    frameRate_ = configuration.frameRate;
    configuration.showsCursor = options.showsCursor;
    const WindowFilter filter = WindowFilter::forThisProcess();
    configuration.excludes = [filter](const WindowInfo& window) { return filter.excludes(window); };
    configuration.windowRefreshSeconds = 1.0;
    configuration.onStopped = [this](const QString& reason) { reportFailure({QStringLiteral("X11"), 1, reason}); };

    std::optional<RecorderError> setUpError;
    writerQueue_.sync([&] {
        anchor_ = HostClock::now();
        setUpError = setUpWriter(rawPath, size.width(), size.height(), options);
    });
    if (setUpError)
        return setUpError;
    if (!soundOpen_) {
        if (auto error = openSound(options)) {
            stopSources();
            cancelWriter();
            return error;
        }
    }
    if (const auto error = sources_.screen->start(configuration, [this](const MediaSample& sample) { deliverFrame(sample); })) {
        const RecorderError failure = failStart(*error);
        cancelWriter();
        return failure;
    }
    started_ = true;

    auto yesNo = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    Diagnostics::log(QStringLiteral("capture started %1x%2 @%3 mic:%4 micDevice:%5 system:%6")
                         .arg(size.width())
                         .arg(size.height())
                         .arg(configuration.frameRate)
                         .arg(yesNo(options.captureMicrophone), options.microphoneDeviceID.value_or(QStringLiteral("system default")),
                             yesNo(options.captureSystemAudio)));
    return std::nullopt;
}

std::optional<ScreenRecorder::RecorderError> ScreenRecorder::openSound(const Options& options)
{
    if (options.captureMicrophone) {
        if (!sources_.microphone)
            return failStart(QStringLiteral("no microphone capture is available"));
        AudioCapture::Request request;
        request.source = options.microphoneDeviceID ? AudioCapture::Source::named : AudioCapture::Source::defaultMicrophone;
        request.sourceName = options.microphoneDeviceID.value_or(QString());
        const auto error = sources_.microphone->start(
            request, [this](const MediaSample& block) { deliverAudio(block, Kind::microphone); },
            [this](const QString& reason) { reportFailure({QStringLiteral("PulseAudio"), 1, reason}); });
        if (error)
            return failStart(*error);
    }
    if (options.captureSystemAudio) {
        if (!sources_.systemAudio)
            return failStart(QStringLiteral("no system audio capture is available"));
        const auto error = sources_.systemAudio->start(
            {AudioCapture::Source::systemAudio, {}, 48000, 2}, [this](const MediaSample& block) { deliverAudio(block, Kind::systemAudio); },
            [this](const QString& reason) { reportFailure({QStringLiteral("PulseAudio"), 1, reason}); });
        if (error)
            return failStart(*error);
    }
    // Both sound sources open at once, so their first blocks are awaited together.
    if (options.captureMicrophone)
        sources_.microphone->waitUntilFlowing();
    if (options.captureSystemAudio)
        sources_.systemAudio->waitUntilFlowing();
    soundOpen_ = true;
    return std::nullopt;
}

ScreenRecorder::RecorderError ScreenRecorder::failStart(const QString& reason)
{
    Diagnostics::log(ErrorInfo{QStringLiteral("Capture"), 1, reason}, QStringLiteral("startCapture"));
    stopSources();
    return RecorderError::captureFailed(reason);
}

void ScreenRecorder::cancelWriter()
{
    writerQueue_.sync([this] {
        if (writer_)
            writer_->cancelWriting();
        writer_.reset();
        videoInput_ = micInput_ = systemInput_ = nullptr;
    });
}

std::optional<ScreenRecorder::RecorderError> ScreenRecorder::setUpWriter(const QString& path, int width, int height, const Options& options)
{
    // A file already at the target is someone's footage: refuse rather than delete it.
    if (QFileInfo::exists(path))
        return RecorderError::writerFailed(QStringLiteral("a file already exists at ") + path);
    auto writer = std::make_unique<MovieWriter>(path, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    VideoSettings video;
    video.codec = VideoSettings::Codec::hevc;
    video.width = width;
    video.height = height;
    video.averageBitRate = static_cast<int64_t>(static_cast<double>(width) * height * 6);
    const int rate = options.frameRate > 0 ? options.frameRate : 60;
    video.maxKeyFrameInterval = rate * 2;
    video.allowFrameReordering = false;
    video.expectedFrameRate = rate;
    // Real time on a desktop CPU: the fastest x265 preset, or the GPU's encoder when one works.
    video.preset = "ultrafast";
    video.preferHardware = true;
    videoInput_ = writer->addVideoInput(video);
    if (!videoInput_)
        return RecorderError::writerFailed(QStringLiteral("video track rejected"));
    videoInput_->setExpectsMediaDataInRealTime(true);
    const AudioSettings audio{48000, 2, 192000};
    if (options.captureMicrophone) {
        micInput_ = writer->addAudioInput(audio);
        if (micInput_)
            micInput_->setExpectsMediaDataInRealTime(true);
    }
    if (options.captureSystemAudio) {
        systemInput_ = writer->addAudioInput(audio);
        if (systemInput_)
            systemInput_->setExpectsMediaDataInRealTime(true);
    }
    writer_ = std::move(writer);
    return std::nullopt;
}

void ScreenRecorder::deliverFrame(const MediaSample& sample)
{
    {
        std::lock_guard guard(framesLock_);
        framesWaiting_.push_back(sample);
        // A writer that falls behind loses the oldest waiting frame, so the movie keeps up with the screen
        // instead of growing its queue without bound.
        if (framesWaiting_.size() > queueDepth) {
            framesWaiting_.pop_front();
            framesDropped_.fetch_add(1);
        }
    }
    writerQueue_.async([this] {
        std::optional<MediaSample> next;
        {
            std::lock_guard guard(framesLock_);
            if (framesWaiting_.empty())
                return; // its frame was dropped
            next = std::move(framesWaiting_.front());
            framesWaiting_.pop_front();
        }
        handle(*next, Kind::screen);
    });
}

void ScreenRecorder::deliverAudio(const MediaSample& sample, Kind kind)
{
    if (kind == Kind::microphone) {
        micQueue_.async([this, sample] {
            if (sources_.speech)
                sources_.speech->feed(sample);
            writerQueue_.async([this, sample] { handle(sample, Kind::microphone); });
        });
        return;
    }
    writerQueue_.async([this, sample, kind] { handle(sample, kind); });
}

void ScreenRecorder::handle(const MediaSample& sample, Kind kind)
{
    if (!writer_ || stopRequested_)
        return;
    const MediaTime pts = sample.presentationTime();
    if (!pts.isNumeric())
        return;
    if (!sessionOpen_) {
        // Sound may arrive before the first frame that was grabbed ahead of it (a grab takes a while, more
        // so on a busy machine): it waits for that frame, which decides what of it belongs to the take.
        if (kind != Kind::screen) {
            soundBeforeFirstFrame_.emplace_back(kind, sample);
            if (soundBeforeFirstFrame_.size() > soundHeldBeforeFirstFrame)
                soundBeforeFirstFrame_.pop_front();
            return;
        }
        if (writer_->status() != MovieWriter::Status::unknown)
            return;
        if (!writer_->startWriting()) {
            const auto error = writer_->error();
            reportFailure(RecorderError::writerFailed(error ? error->description : QStringLiteral("startWriting refused")).info());
            return;
        }
        writer_->startSession(MediaTime::zero());
        clock_.begin(pts);
        Diagnostics::log(QStringLiteral("first picture %1 ms after the start").arg((pts - anchor_).seconds() * 1000, 0, 'f', 1));
        sessionOpen_ = true;
        handle(sample, kind);
        for (const auto& [heldKind, held] : std::exchange(soundBeforeFirstFrame_, {}))
            handle(held, heldKind);
        return;
    }
    const auto takeTime = clock_.adjust(pts, kind == Kind::screen);
    if (!takeTime) {
        // The block that was sounding when the first picture came: its part from the picture on starts the track.
        if (kind != Kind::screen && !lastWritten_.count(static_cast<int>(kind)) && sample.audio && sample.audio->sampleRate > 0) {
            const auto end = clock_.adjust(pts + sample.duration(), false);
            // One frame less than the rounded length, so the kept part never starts before the picture.
            const int64_t kept = end ? end->valueIn(sample.audio->sampleRate).value_or(0) - 1 : 0;
            if (const auto tail = tailOf(sample, sample.audio->frameCount() - kept))
                handle(*tail, kind);
        }
        return;
    }
    const auto retimed = SampleBufferRetiming::retimed(sample, pts - *takeTime);
    if (!retimed)
        return;
    MovieWriterInput* input = kind == Kind::screen ? videoInput_ : kind == Kind::systemAudio ? systemInput_ : micInput_;
    if (!input)
        return;
    if (kind == Kind::screen) {
        if (input->isReadyForMoreMediaData())
            appendNow(*input, *retimed, kind, *takeTime);
        return;
    }
    // Sound tracks start at take time 0 like the picture: silence up to the first block.
    if (!lastWritten_.count(static_cast<int>(kind)) && *takeTime > MediaTime::zero() && retimed->audio) {
        auto silence = std::make_shared<AudioBlock>();
        silence->sampleRate = retimed->audio->sampleRate;
        silence->channels = retimed->audio->channels;
        const auto frames = MediaTime(*takeTime).valueIn(silence->sampleRate).value_or(0);
        if (frames > 0) {
            silence->samples.assign(static_cast<size_t>(frames * silence->channels), 0.0f);
            appendNow(*input, MediaSample::sound(std::move(silence), MediaTime::zero()), kind, MediaTime::zero());
        }
    }
    PendingAudioQueue& pending = kind == Kind::microphone ? pendingMicrophone_ : pendingSystem_;
    if (!pending.isEmpty() && input->isReadyForMoreMediaData())
        pending.drain([&](const MediaSample& held) {
            return input->isReadyForMoreMediaData() && appendNow(*input, held, kind, held.presentationTime());
        });
    if (!pending.isEmpty() || !input->isReadyForMoreMediaData()) {
        pending.push(*retimed);
        return;
    }
    appendNow(*input, *retimed, kind, *takeTime);
}

bool ScreenRecorder::appendNow(MovieWriterInput& input, const MediaSample& sample, Kind kind, const MediaTime& takeTime)
{
    const int key = static_cast<int>(kind);
    if (const auto last = lastWritten_.find(key); last != lastWritten_.end() && takeTime <= last->second) {
        Diagnostics::log(QString::asprintf("dropped a non-advancing %s sample (%.4fs after %.4fs)", qPrintable(kindName(key)), takeTime.seconds(),
            last->second.seconds()));
        return true; // consumed: a held block like this is never tried again
    }
    if (!input.append(sample)) {
        reportWriteFailure(key, takeTime);
        return false;
    }
    if (kind == Kind::screen) {
        if (const auto last = lastWritten_.find(key); last != lastWritten_.end()) {
            const double gap = (takeTime - last->second).seconds();
            longestFrameGap_ = std::max(longestFrameGap_, gap);
            frameGapsOver50ms_ += gap > 0.050 ? 1 : 0;
        }
        framesWritten_.fetch_add(1);
    }
    lastWritten_[key] = takeTime;
    return true;
}

void ScreenRecorder::reportWriteFailure(int kind, const MediaTime& at)
{
    if (failureReported_)
        return;
    failureReported_ = true;
    const auto error = writer_ ? writer_->error() : std::nullopt;
    const QString reason = error ? error->description : QStringLiteral("the writer rejected a sample");
    Diagnostics::log(QString::asprintf("FATAL: %s append rejected at %.3fs — %s", qPrintable(kindName(kind)), at.seconds(), qPrintable(reason)));
    const auto lastFrame = lastWritten_.find(static_cast<int>(Kind::screen));
    if (error && error->isDiskFull() && lastFrame != lastWritten_.end()) {
        const int seconds = static_cast<int>(lastFrame->second.seconds());
        const QString kept = QString::asprintf("%02d:%02d in ", seconds / 60, seconds % 60) + QFileInfo(rawPath_).fileName();
        if (onFailure)
            onFailure(RecorderError::diskFull(kept).info());
        return;
    }
    if (onFailure)
        onFailure(RecorderError::writerFailed(reason).info());
}

void ScreenRecorder::reportFailure(const ErrorInfo& error)
{
    if (error.description.isEmpty())
        return;
    writerQueue_.async([this, error] {
        if (onFailure && !stopRequested_)
            onFailure(error);
    });
}

void ScreenRecorder::stopSources()
{
    if (sources_.screen)
        sources_.screen->stop();
    if (sources_.microphone)
        sources_.microphone->stop();
    if (sources_.systemAudio)
        sources_.systemAudio->stop();
}

QFuture<ScreenRecorder::StopResult> ScreenRecorder::stop()
{
    return WorkerPool::takes().run([this] {
        stopSources();
        // Microphone blocks pass through their own queue first; let them reach the writer queue.
        micQueue_.sync([] {});
        StopResult result;
        writerQueue_.sync([&] { result = finishOnWriterQueue(); });
        return result;
    });
}

void ScreenRecorder::logFrameAccounting() const
{
    const auto last = lastWritten_.find(static_cast<int>(Kind::screen));
    const int64_t expected = last == lastWritten_.end() ? 0 : std::llround(last->second.seconds() * frameRate_) + 1;
    const Statistics counts = statistics();
    Diagnostics::log(QStringLiteral("frames: written %1 of %2 expected, dropped %3, longest gap %4 ms")
                         .arg(counts.framesWritten)
                         .arg(expected)
                         .arg(counts.framesDropped + counts.framesMissed)
                         .arg(std::llround(longestFrameGap_ * 1000)));
    if (frameGapsOver50ms_ > 0)
        Diagnostics::log(QStringLiteral("frames: %1 gaps over 50 ms").arg(frameGapsOver50ms_));
}

ScreenRecorder::StopResult ScreenRecorder::finishOnWriterQueue()
{
    stopRequested_ = true;
    logFrameAccounting();
    if (!writer_ || rawPath_.isEmpty())
        return {std::nullopt, RecorderError::writerFailed(QStringLiteral("no active recording"))};
    std::unique_ptr<MovieWriter> writer = std::move(writer_);
    const bool framesWritten = lastWritten_.count(static_cast<int>(Kind::screen)) > 0;
    auto errorText = [&](const QString& fallback) {
        const auto error = writer->error();
        return error && !error->description.isEmpty() ? error->description : fallback;
    };
    if (sessionOpen_ && writer->status() == MovieWriter::Status::writing) {
        for (MovieWriterInput* input : {videoInput_, micInput_, systemInput_}) {
            if (input)
                input->markAsFinished();
        }
        if (writer->finishWriting() && writer->status() == MovieWriter::Status::completed)
            return {rawPath_, std::nullopt};
        const RecorderError error = RecorderError::writerFailed(errorText(QStringLiteral("unknown writer failure")));
        // The capture file is fragmented: what was written up to the failure stays readable.
        return {framesWritten && QFileInfo::exists(rawPath_) ? std::optional<QString>(rawPath_) : std::nullopt, error};
    }
    const QString reason = errorText(sessionOpen_ ? QStringLiteral("the recorder stopped unexpectedly") : QStringLiteral("no frames ever arrived from the screen"));
    const int status = static_cast<int>(writer->status());
    writer->cancelWriting();
    if (framesWritten && QFileInfo::exists(rawPath_)) {
        Diagnostics::log(QStringLiteral("stop: writer status %1, sessionOpen %2 — keeping the partial file. %3")
                             .arg(status)
                             .arg(sessionOpen_ ? QStringLiteral("true") : QStringLiteral("false"), reason));
        return {rawPath_, RecorderError::writerFailed(reason)};
    }
    Diagnostics::log(QStringLiteral("stop: writer status %1, sessionOpen %2 — discarding partial file. %3")
                         .arg(status)
                         .arg(sessionOpen_ ? QStringLiteral("true") : QStringLiteral("false"), reason));
    // Only a file this recorder opened and never wrote a frame into goes (the writer refuses an existing
    // file, so whatever lies at the path now came from this recorder, also when starting failed).
    QFile::remove(rawPath_);
    return {std::nullopt, RecorderError::writerFailed(reason)};
}

ScreenRecorder::Statistics ScreenRecorder::statistics() const
{
    const int64_t missed = sources_.screen ? sources_.screen->statistics().framesMissed : 0;
    return {framesWritten_.load(), framesDropped_.load(), missed};
}
