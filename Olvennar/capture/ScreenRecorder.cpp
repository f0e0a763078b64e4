#include "capture/ScreenRecorder.h"

#include "capture/SampleBufferRetiming.h"
#include "capture/ScreenGeometry.h"
#include "takedata/SpeechAudioSink.h"
#include "capture/WindowFilter.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/system/HostClock.h"
#include "takedata/ClockText.h"
#include "takedata/RecordingClock.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PlanarPicture.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include "platform/system/WorkerPool.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {
// Pictures the writer may have waiting before the oldest go: a quarter of a second of the take, enough for a
// hiccup of the writer, and never more than this much memory (a 4K display's frames are large). A writer that
// stays behind finds the queue full and every picture it writes that old: a deeper queue would keep no more
// pictures, only put the file's picture further behind the screen (and a kill's loss).
constexpr double waitingSecondsBound = 0.25;
constexpr size_t waitingBytesBound = size_t{96} << 20;

size_t pictureBytes(const MediaSample& sample)
{
    if (sample.planar)
        return static_cast<size_t>(sample.planar->width()) * static_cast<size_t>(sample.planar->height()) * 3 / 2;
    return sample.pixels ? sample.pixels->byteCount() : 0;
}

QSize outputSizeOf(const ScreenRecorder::Options& options)
{
    const QRect frame = options.display.frame;
    const QRectF source = ScreenGeometry::sourceRect(frame.width(), frame.height());
    // X11 pixels are the display's own units: a backing scale of 1.
    return ScreenGeometry::outputSize(source, 1.0, options.targetHeight);
}

int frameRateOf(const ScreenRecorder::Options& options) { return options.frameRate > 0 ? options.frameRate : ScreenFrameRate::perSecond; }

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
    case Kind::sourceStopped:
        return detail_;
    case Kind::movieLost:
        return QStringLiteral("The take's folder was moved away or deleted while it recorded: ") + detail_
            + QStringLiteral(" can no longer be found, so its pointer, clicks and description were not saved.");
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
    // The movie is finished before anything it needs goes: a stop under way ends first (a stop the pool has
    // not begun yet runs here), and a take never stopped is stopped here, not cut.
    if (stopping_)
        stopping_->waitForFinished();
    else if (started_)
        stopAndFinish();
    stopSources();
    // Blocks already on the microphone queue reach the sound queue, which then ignores them.
    micQueue_.sync([] {});
    {
        // A picture waiting for the sound gives up.
        std::lock_guard guard(soundWaitingLock_);
        stopRequested_ = true;
    }
    soundCaughtUp_.notify_all();
    writerQueue_.sync([] {});
    soundQueue_.sync([this] {
        if (writer_ && accepting_.exchange(false))
            writer_->cancelWriting();
    });
}

std::optional<std::vector<ScreenDisplay>> ScreenRecorder::availableDisplays(ScreenCapture& screen) { return screen.availableDisplays(); }

std::optional<ScreenRecorder::RecorderError> ScreenRecorder::prepare(const Options& options)
{
    if (!soundOpen_) {
        if (auto error = openSound(options))
            return error;
    }
    if (auto error = openWriter(options, outputSizeOf(options))) {
        stopSources();
        soundOpen_ = false;
        return error;
    }
    return std::nullopt;
}

std::optional<ScreenRecorder::RecorderError> ScreenRecorder::start(const Options& options, const QString& rawPath)
{
    rawPath_ = rawPath;
    if (!sources_.screen || !sources_.screen->availableDisplays()) {
        Diagnostics::log(ErrorInfo{QStringLiteral("X11"), 1, QStringLiteral("the X display could not be opened")}, QStringLiteral("XDisplay"));
        return RecorderError::screenPermissionStale();
    }
    const QRect frame = options.display.frame;
    const QRectF source = ScreenGeometry::sourceRect(frame.width(), frame.height());
    const QSize size = outputSizeOf(options);
    pixelSize_ = size;

    ScreenCapture::Configuration configuration;
    configuration.sourceRect = QRect(frame.x() + qRound(source.x()), frame.y() + qRound(source.y()), qRound(source.width()), qRound(source.height()));
    sourceRect_ = configuration.sourceRect;
    configuration.outputSize = size;
    configuration.frameRate = frameRateOf(options);
    frameRate_ = configuration.frameRate;
    configuration.showsCursor = options.showsCursor;
    const WindowFilter filter = WindowFilter::forThisProcess();
    configuration.excludes = [filter](const WindowInfo& window) { return filter.excludes(window); };
    configuration.windowRefreshSeconds = 1.0;
    configuration.onStopped = [this](const QString& reason) { reportFailure(RecorderError::sourceStopped(reason)); };

    // A file already at the target is someone's footage: refuse rather than delete it.
    if (QFileInfo::exists(rawPath)) {
        cancelWriter();
        return RecorderError::writerFailed(QStringLiteral("a file already exists at ") + rawPath);
    }
    if (writer_ && writerSize_ != size)
        cancelWriter();
    if (!writer_) {
        if (auto error = openWriter(options, size))
            return error;
    }
    writer_->setPath(rawPath);
    // A software encoder takes the grabber's planes as they are; a GPU encoder uploads BGRA itself.
    const auto encoders = writer_->videoEncoderNames();
    configuration.planar = std::none_of(encoders.begin(), encoders.end(), [](const std::string& name) { return name.ends_with("_vaapi"); });
    if (!soundOpen_) {
        if (auto error = openSound(options)) {
            stopSources();
            cancelWriter();
            return error;
        }
    } else if (const std::optional<QString> lost = soundLost()) {
        // Opened in the countdown, then lost (the sound server went away): a take now would be silent.
        const RecorderError failure = failStart(*lost);
        soundOpen_ = false;
        cancelWriter();
        return failure;
    }
    anchor_ = HostClock::now();
    accepting_ = true;
    if (const auto error = sources_.screen->start(configuration, [this](const MediaSample& sample) { deliverFrame(sample); })) {
        accepting_ = false;
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
        // Voice follow hears the sound as it is read: the take's blocks may be held while their place is found.
        request.onRead = [this](const MediaSample& block) {
            micQueue_.async([this, block] {
                if (sources_.speech)
                    sources_.speech->feed(block);
            });
        };
        const auto error = sources_.microphone->start(
            request, [this](const MediaSample& block) { deliverAudio(block, Kind::microphone); }, [this](const QString& reason) { soundSourceLost(reason); });
        if (error)
            return failStart(*error);
    }
    if (options.captureSystemAudio) {
        if (!sources_.systemAudio)
            return failStart(QStringLiteral("no system audio capture is available"));
        const auto error = sources_.systemAudio->start(
            {AudioCapture::Source::systemAudio, {}, 48000, 2}, [this](const MediaSample& block) { deliverAudio(block, Kind::systemAudio); },
            [this](const QString& reason) { soundSourceLost(reason); });
        if (error)
            return failStart(*error);
    }
    // Both sound sources open at once, so their first blocks are awaited together.
    if (options.captureMicrophone)
        sources_.microphone->waitUntilFlowing();
    if (options.captureSystemAudio)
        sources_.systemAudio->waitUntilFlowing();
    // A source that failed while it was awaited (the sound server went away) would leave the take silent.
    if (const std::optional<QString> lost = soundLost())
        return failStart(*lost);
    soundOpen_ = true;
    return std::nullopt;
}

void ScreenRecorder::soundSourceLost(const QString& reason)
{
    {
        std::lock_guard guard(soundLostLock_);
        if (!soundLost_)
            soundLost_ = reason;
    }
    reportFailure(RecorderError::sourceStopped(reason));
}

std::optional<QString> ScreenRecorder::soundLost() const
{
    std::lock_guard guard(soundLostLock_);
    return soundLost_;
}

ScreenRecorder::RecorderError ScreenRecorder::failStart(const QString& reason)
{
    Diagnostics::log(ErrorInfo{QStringLiteral("Capture"), 1, reason}, QStringLiteral("startCapture"));
    stopSources();
    return RecorderError::captureFailed(reason);
}

void ScreenRecorder::cancelWriter()
{
    // Nothing is accepted yet, so neither queue touches the writer; let what they still hold pass first.
    writerQueue_.sync([] {});
    soundQueue_.sync([] {});
    if (writer_)
        writer_->cancelWriting();
    writer_.reset();
    videoInput_ = micInput_ = systemInput_ = nullptr;
}

std::optional<ScreenRecorder::RecorderError> ScreenRecorder::openWriter(const Options& options, const QSize& size)
{
    // The file is named by start(); until then the writer only holds its encoders.
    auto writer = std::make_unique<MovieWriter>(rawPath_, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    VideoSettings video;
    video.codec = VideoSettings::Codec::hevc;
    video.width = size.width();
    video.height = size.height();
    video.averageBitRate = static_cast<int64_t>(static_cast<double>(size.width()) * size.height() * 6);
    const int rate = frameRateOf(options);
    video.maxKeyFrameInterval = rate * 2;
    video.allowFrameReordering = false;
    video.expectedFrameRate = rate;
    // Real time on a desktop CPU: the fastest x265 preset, or the GPU's encoder when one works. No
    // look-ahead: each picture reaches the file as soon as it is encoded, so on a starved machine a kill
    // costs a second of picture, not the several the encoder's pipeline would hold. Every core on the
    // picture's rows, all at the priority of the thread that opens the encoder, so a busy program does not
    // push the take's encoder back.
    video.preset = "ultrafast";
    video.tune = "zerolatency";
    video.takeThreading = true;
    video.preferHardware = true;
    MovieWriterInput* videoInput = writer->addVideoInput(video);
    if (!videoInput)
        return RecorderError::writerFailed(QStringLiteral("video track rejected"));
    videoInput->setExpectsMediaDataInRealTime(true);
    MovieWriterInput* micInput = nullptr;
    MovieWriterInput* systemInput = nullptr;
    const AudioSettings audio{48000, 2, 192000};
    if (options.captureMicrophone) {
        micInput = writer->addAudioInput(audio);
        if (micInput)
            micInput->setExpectsMediaDataInRealTime(true);
    }
    if (options.captureSystemAudio) {
        systemInput = writer->addAudioInput(audio);
        if (systemInput)
            systemInput->setExpectsMediaDataInRealTime(true);
    }
    writer_ = std::move(writer);
    videoInput_ = videoInput;
    micInput_ = micInput;
    systemInput_ = systemInput;
    writerSize_ = size;
    return std::nullopt;
}

void ScreenRecorder::deliverFrame(const MediaSample& sample)
{
    // A pause keeps the grabber running, but nothing grabbed or missed then is the take's: a paused frame
    // neither waits for the writer nor pushes the take's own frames out of the queue.
    countMissedTicks(sample.presentationTime());
    if (clock_.pausedAt(sample.presentationTime())) {
        framesWhilePaused_.fetch_add(1);
        return;
    }
    bool schedule = false;
    {
        std::lock_guard guard(framesLock_);
        framesWaiting_.push_back(sample);
        framesWaitingBytes_ += pictureBytes(sample);
        // A writer that falls behind loses the oldest waiting frames, so the movie keeps up with the screen
        // instead of growing its queue without bound.
        const MediaTime newest = sample.presentationTime();
        while (framesWaiting_.size() > 1
            && (framesWaitingBytes_ > waitingBytesBound || (newest - framesWaiting_.front().presentationTime()).seconds() > waitingSecondsBound)) {
            framesWaitingBytes_ -= pictureBytes(framesWaiting_.front());
            framesWaiting_.pop_front();
            framesDropped_.fetch_add(1);
        }
        schedule = !std::exchange(framesScheduled_, true);
    }
    if (schedule)
        writerQueue_.async([this] { writeWaitingFrames(); });
}

void ScreenRecorder::writeWaitingFrames()
{
    for (;;) {
        std::optional<MediaSample> next;
        {
            std::lock_guard guard(framesLock_);
            if (framesWaiting_.empty()) {
                framesScheduled_ = false;
                return;
            }
            next = std::move(framesWaiting_.front());
            framesWaiting_.pop_front();
            framesWaitingBytes_ -= pictureBytes(*next);
        }
        handleFrame(*next);
    }
}

void ScreenRecorder::deliverAudio(const MediaSample& sample, Kind kind)
{
    countSoundWaiting(kind, sample, 1);
    if (kind == Kind::microphone) {
        micQueue_.async([this, sample] {
            soundQueue_.async([this, sample] {
                handleSound(sample, Kind::microphone);
                countSoundWaiting(Kind::microphone, sample, -1);
            });
        });
        return;
    }
    soundQueue_.async([this, sample, kind] {
        handleSound(sample, kind);
        countSoundWaiting(kind, sample, -1);
    });
}

void ScreenRecorder::countSoundWaiting(Kind kind, const MediaSample& sample, int sign)
{
    const auto duration = sample.duration().valueIn(1'000'000);
    const int64_t microseconds = duration ? std::max<int64_t>(*duration, 0) : 0;
    const int64_t waiting = soundWaitingMicroseconds_[kind == Kind::microphone ? 0 : 1].fetch_add(sign * microseconds) + sign * microseconds;
    if (sign < 0 && waiting <= soundWaitingBoundMicroseconds) {
        // Taken so a picture about to wait sees either the new figure or this wake-up.
        { std::lock_guard guard(soundWaitingLock_); }
        soundCaughtUp_.notify_all();
    }
}

void ScreenRecorder::waitForSound()
{
    auto caughtUp = [this] {
        return stopRequested_ || (soundWaitingMicroseconds_[0] <= soundWaitingBoundMicroseconds && soundWaitingMicroseconds_[1] <= soundWaitingBoundMicroseconds);
    };
    if (caughtUp())
        return;
    const auto from = std::chrono::steady_clock::now();
    std::unique_lock lock(soundWaitingLock_);
    soundCaughtUp_.wait(lock, caughtUp);
    waitedForSoundSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

bool ScreenRecorder::writerStopped(Kind kind, const MediaSample& sample)
{
    if (writer_->status() == MovieWriter::Status::writing)
        return false;
    // The writer failed (a full disk, say): what comes after is counted and said once at the stop.
    if (kind == Kind::screen) {
        framesAfterFailure_.fetch_add(1);
    } else {
        const auto duration = sample.duration().valueIn(1'000'000);
        soundAfterFailureMicroseconds_[kind == Kind::microphone ? 0 : 1].fetch_add(duration ? std::max<int64_t>(*duration, 0) : 0);
    }
    return true;
}

void ScreenRecorder::handleFrame(const MediaSample& sample)
{
    if (!accepting_ || stopRequested_ || !writer_)
        return;
    const MediaTime pts = sample.presentationTime();
    if (!pts.isNumeric())
        return;
    if (!sessionOpen_) {
        if (writer_->status() != MovieWriter::Status::unknown)
            return;
        if (!writer_->startWriting()) {
            const auto error = writer_->error();
            reportFailure(RecorderError::writerFailed(error ? error->description : QStringLiteral("startWriting refused")));
            return;
        }
        writer_->startSession(MediaTime::zero());
        clock_.begin(pts);
        Diagnostics::log(QStringLiteral("first picture %1 ms after the start").arg((pts - anchor_).seconds() * 1000, 0, 'f', 1));
        sessionOpen_ = true;
        // The sound that waited for this picture goes now, even when no more sound comes.
        soundQueue_.async([this] { writeHeldSound(); });
    }
    if (writerStopped(Kind::screen, sample))
        return;
    const auto takeTime = clock_.adjust(pts, true);
    if (!takeTime)
        return;
    if (lastFrameWritten_ && *takeTime <= *lastFrameWritten_) {
        Diagnostics::log(QString::asprintf("dropped a non-advancing screen sample (%.4fs after %.4fs)", takeTime->seconds(), lastFrameWritten_->seconds()));
        return;
    }
    const auto retimed = SampleBufferRetiming::retimed(sample, pts - *takeTime);
    if (!retimed || !videoInput_)
        return;
    // Sound first: a machine too busy for both loses pictures (the grabber's newest replace the waiting
    // ones meanwhile), never sound.
    waitForSound();
    if (sources_.beforePictureEncode)
        sources_.beforePictureEncode();
    if (!videoInput_->append(*retimed)) {
        reportWriteFailure(static_cast<int>(Kind::screen), *takeTime);
        return;
    }
    if (lastFrameWritten_) {
        const double gap = (*takeTime - *lastFrameWritten_).seconds();
        longestFrameGap_ = std::max(longestFrameGap_, gap);
        frameGapsOver50ms_ += gap > 0.050 ? 1 : 0;
    }
    lastFrameWritten_ = *takeTime;
    lastFrameSeconds_ = takeTime->seconds();
    framesWritten_.fetch_add(1);
}

void ScreenRecorder::writeHeldSound()
{
    for (Kind kind : {Kind::microphone, Kind::systemAudio}) {
        PendingAudioQueue& held = kind == Kind::microphone ? beforeFirstFrameMicrophone_ : beforeFirstFrameSystem_;
        held.drain([&](const MediaSample& block) {
            writeSound(block, kind);
            return true;
        });
    }
}

void ScreenRecorder::handleSound(const MediaSample& sample, Kind kind)
{
    if (!accepting_ || !writer_ || !sample.presentationTime().isNumeric())
        return;
    if (!sessionOpen_) {
        // Sound may arrive before the first frame that was grabbed ahead of it (a grab takes a while, more
        // so on a busy machine): it waits for that frame, which decides what of it belongs to the take.
        (kind == Kind::microphone ? beforeFirstFrameMicrophone_ : beforeFirstFrameSystem_).push(sample);
        return;
    }
    writeHeldSound();
    writeSound(sample, kind);
}

void ScreenRecorder::writeSound(const MediaSample& sample, Kind kind)
{
    if (writerStopped(kind, sample))
        return;
    const MediaTime pts = sample.presentationTime();
    const int key = static_cast<int>(kind);
    const auto takeTime = clock_.adjust(pts, false);
    if (!takeTime) {
        // The block that was sounding when the first picture came: its part from the picture on starts the track.
        if (!lastSoundWritten_.count(key) && sample.audio && sample.audio->sampleRate > 0) {
            const auto end = clock_.adjust(pts + sample.duration(), false);
            // One frame less than the rounded length, so the kept part never starts before the picture.
            const int64_t kept = end ? end->valueIn(sample.audio->sampleRate).value_or(0) - 1 : 0;
            const int64_t skipped = sample.audio->frameCount() - kept;
            if (const auto tail = skipped > 0 ? SampleBufferRetiming::withoutLeadingFrames(sample, skipped) : std::nullopt)
                writeSound(*tail, kind);
        }
        return;
    }
    const auto retimed = SampleBufferRetiming::retimed(sample, pts - *takeTime);
    MovieWriterInput* input = kind == Kind::systemAudio ? systemInput_ : micInput_;
    if (!retimed || !input)
        return;
    // Sound tracks start at take time 0 like the picture: silence up to the first block.
    if (!lastSoundWritten_.count(key) && *takeTime > MediaTime::zero() && retimed->audio) {
        auto silence = std::make_shared<AudioBlock>();
        silence->sampleRate = retimed->audio->sampleRate;
        silence->channels = retimed->audio->channels;
        const auto frames = MediaTime(*takeTime).valueIn(silence->sampleRate).value_or(0);
        if (frames > 0) {
            silence->samples.assign(static_cast<size_t>(frames * silence->channels), 0.0f);
            appendSound(*input, MediaSample::sound(std::move(silence), MediaTime::zero()), kind, MediaTime::zero());
        }
    }
    appendSound(*input, *retimed, kind, *takeTime);
}

void ScreenRecorder::appendSound(MovieWriterInput& input, const MediaSample& retimed, Kind kind, const MediaTime& takeTime)
{
    const int key = static_cast<int>(kind);
    if (const auto last = lastSoundWritten_.find(key); last != lastSoundWritten_.end() && takeTime <= last->second) {
        Diagnostics::log(QString::asprintf("dropped a non-advancing %s sample (%.4fs after %.4fs)", qPrintable(kindName(key)), takeTime.seconds(),
            last->second.seconds()));
        return;
    }
    if (!input.append(retimed)) {
        reportWriteFailure(key, takeTime);
        return;
    }
    lastSoundWritten_[key] = takeTime;
}

void ScreenRecorder::reportWriteFailure(int kind, const MediaTime& at)
{
    if (failureReported_.exchange(true))
        return;
    const auto error = writer_ ? writer_->error() : std::nullopt;
    const QString reason = error ? error->description : QStringLiteral("the writer rejected a sample");
    Diagnostics::log(QString::asprintf("FATAL: %s append rejected at %.3fs — %s", qPrintable(kindName(kind)), at.seconds(), qPrintable(reason)));
    if (onFailure)
        onFailure(writerFailure(reason));
}

ScreenRecorder::RecorderError ScreenRecorder::writerFailure(const QString& reason) const
{
    const auto error = writer_ ? writer_->error() : std::nullopt;
    const double lastFrame = lastFrameSeconds_;
    if (error && error->isDiskFull() && lastFrame >= 0)
        return RecorderError::diskFull(ClockText::format(lastFrame, ClockText::Form::paddedMinutes) + QStringLiteral(" in ") + QFileInfo(rawPath_).fileName());
    return RecorderError::writerFailed(reason);
}

void ScreenRecorder::reportFailure(const RecorderError& error)
{
    if (error.errorDescription().isEmpty())
        return;
    // The sound queue, never the writer's: a writer that is behind works through its waiting pictures for as
    // long as new ones come, and a lost source would wait behind them to the user's stop.
    soundQueue_.async([this, error] {
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
    if (!stopping_)
        stopping_ = WorkerPool::takes().run([this] { return stopAndFinish(); });
    return *stopping_;
}

ScreenRecorder::StopResult ScreenRecorder::stopAndFinish()
{
    stopSources();
    countMissedTicks(HostClock::now());
    // Microphone blocks pass through their own queue first; let them reach the sound queue.
    micQueue_.sync([] {});
    // Every picture delivered so far is written, then every sound block behind it, then the file closes.
    writerQueue_.sync([this] {
        stopRequested_ = true;
        logFrameAccounting();
    });
    StopResult result;
    soundQueue_.sync([&] { result = finishWriting(); });
    return result;
}

void ScreenRecorder::countMissedTicks(const MediaTime& until)
{
    const int64_t total = sources_.screen ? sources_.screen->statistics().framesMissed : 0;
    const int64_t missed = total - std::exchange(missedSeen_, total);
    const MediaTime previous = std::exchange(lastGrab_, until);
    if (missed <= 0)
        return;
    // The missed ticks lie evenly between the two grabs: the take lost the share of them its clock ran.
    const double gap = previous.isValid() && until.isValid() ? (until - previous).seconds() : 0;
    const double running = gap > 0 ? clock_.runningBetween(previous, until).seconds() / gap : clock_.pausedAt(until) ? 0.0 : 1.0;
    framesMissed_.fetch_add(std::llround(static_cast<double>(missed) * running));
}

void ScreenRecorder::logFrameAccounting() const
{
    const int64_t expected = lastFrameWritten_ ? std::llround(lastFrameWritten_->seconds() * frameRate_) + 1 : 0;
    const Statistics counts = statistics();
    Diagnostics::log(QStringLiteral("frames: written %1 of %2 expected, dropped %3, longest gap %4 ms")
                         .arg(counts.framesWritten)
                         .arg(expected)
                         .arg(counts.framesDropped + counts.framesMissed)
                         .arg(std::llround(longestFrameGap_ * 1000)));
    if (const int64_t paused = framesWhilePaused_.load(); paused > 0)
        Diagnostics::log(QStringLiteral("frames: %1 grabbed while paused were left out").arg(paused));
    if (frameGapsOver50ms_ > 0)
        Diagnostics::log(QStringLiteral("frames: %1 gaps over 50 ms").arg(frameGapsOver50ms_));
    if (waitedForSoundSeconds_ > 0)
        Diagnostics::log(QStringLiteral("frames: the picture waited %1 s for the sound to be written").arg(waitedForSoundSeconds_, 0, 'f', 2));
}

ScreenRecorder::StopResult ScreenRecorder::finishWriting()
{
    const bool accepted = accepting_.exchange(false);
    if (!writer_ || !accepted || rawPath_.isEmpty())
        return {std::nullopt, RecorderError::writerFailed(QStringLiteral("no active recording"))};
    const int64_t framesLost = framesAfterFailure_.load();
    const double micLost = static_cast<double>(soundAfterFailureMicroseconds_[0].load()) / 1e6;
    const double systemLost = static_cast<double>(soundAfterFailureMicroseconds_[1].load()) / 1e6;
    if (framesLost > 0 || micLost > 0 || systemLost > 0)
        Diagnostics::log(QStringLiteral("after the writer failed: %1 frames, %2 s of microphone and %3 s of system audio were not written")
                             .arg(framesLost)
                             .arg(micLost, 0, 'f', 2)
                             .arg(systemLost, 0, 'f', 2));
    const bool framesWritten = framesWritten_.load() > 0;
    auto errorText = [&](const QString& fallback) {
        const auto error = writer_->error();
        return error && !error->description.isEmpty() ? error->description : fallback;
    };
    const bool sessionOpen = sessionOpen_;
    if (sessionOpen && writer_->status() == MovieWriter::Status::writing) {
        for (MovieWriterInput* input : {videoInput_, micInput_, systemInput_}) {
            if (input)
                input->markAsFinished();
        }
        if (writer_->finishWriting() && writer_->status() == MovieWriter::Status::completed) {
            if (const std::optional<QString> movie = writer_->location())
                return {movie, std::nullopt};
            Diagnostics::log(QStringLiteral("stop: the movie was finished, but ") + QFileInfo(rawPath_).fileName()
                + QStringLiteral(" was deleted or moved away meanwhile"));
            return {std::nullopt, RecorderError::movieLost(QFileInfo(rawPath_).fileName())};
        }
        // The capture file is fragmented: what was written up to the failure stays readable. A disk that
        // filled as the take stopped is said as one, like a disk that filled during it.
        const std::optional<QString> movie = framesWritten ? writer_->location() : std::nullopt;
        const QString reason = errorText(QStringLiteral("unknown writer failure"));
        return {movie, movie ? writerFailure(reason) : RecorderError::writerFailed(reason)};
    }
    const QString reason = errorText(sessionOpen ? QStringLiteral("the recorder stopped unexpectedly") : QStringLiteral("no frames ever arrived from the screen"));
    const int status = static_cast<int>(writer_->status());
    writer_->cancelWriting();
    const std::optional<QString> movie = writer_->location();
    if (framesWritten && movie) {
        Diagnostics::log(QStringLiteral("stop: writer status %1, sessionOpen %2 — keeping the partial file. %3")
                             .arg(status)
                             .arg(sessionOpen ? QStringLiteral("true") : QStringLiteral("false"), reason));
        return {movie, writerFailure(reason)};
    }
    Diagnostics::log(QStringLiteral("stop: writer status %1, sessionOpen %2 — discarding partial file. %3")
                         .arg(status)
                         .arg(sessionOpen ? QStringLiteral("true") : QStringLiteral("false"), reason));
    // Only a file this recorder opened and never wrote a frame into goes, wherever it lies now: the path may
    // name another take's file by now once the folder was renamed and its name used again.
    if (movie)
        QFile::remove(*movie);
    return {std::nullopt, RecorderError::writerFailed(reason)};
}

ScreenRecorder::Statistics ScreenRecorder::statistics() const
{
    return {framesWritten_.load(), framesDropped_.load(), framesMissed_.load()};
}
