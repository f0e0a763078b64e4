#include "capture/AudioOnlyRecorder.h"

#include "capture/SampleBufferRetiming.h"

#include "platform/system/WorkerPool.h"
#include "takedata/SpeechAudioSink.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/HostClock.h"

#include <QFileInfo>

#include <cmath>

namespace {
QString shownName(const AudioOnlyRecorder::Microphone& microphone)
{
    return microphone.localizedName.isEmpty() ? microphone.uniqueID.value_or(QStringLiteral("default")) : microphone.localizedName;
}
}

AudioOnlyRecorder::AudioOnlyRecorder(std::unique_ptr<AudioCapture> capture, SpeechAudioSink* speech) : capture_(std::move(capture)), speech_(speech) {}

AudioOnlyRecorder::~AudioOnlyRecorder()
{
    // The file is finished before anything it needs goes: a stop under way ends first (a stop the pool has
    // not begun yet runs here), and a take never stopped is stopped here, not cut.
    stopping_.waitForFinished();
    if (recording_.exchange(false))
        stopAndFinish();
    if (capture_)
        capture_->stop();
    queue_.sync([this] {
        if (writer_)
            writer_->cancelWriting();
    });
}

std::optional<AudioOnlyRecorder::RecorderError> AudioOnlyRecorder::start(const Microphone& microphone, const QString& path)
{
    if (recording_.load())
        stop();
    stopping_.waitForFinished();
    const QString name = shownName(microphone);
    // An existing file is someone's earlier take: refuse rather than replace it.
    if (QFileInfo::exists(path))
        return RecorderError::cannotUse(QStringLiteral("The microphone ") + name + QStringLiteral(" can't record right now: a file already exists at ") + path + QLatin1Char('.'));
    if (const auto stopped = captureOpen_ ? stoppedAhead(name) : std::nullopt)
        return stopped;
    std::optional<RecorderError> setUpError;
    const bool openedAhead = captureOpen_;
    queue_.sync([&] {
        startAnchor_ = openedAhead ? std::optional<MediaTime>(HostClock::now()) : std::nullopt;
        writer_ = std::make_unique<MovieWriter>(path, MovieFileType::appleM4A, MovieWriteMode::capture);
        input_ = writer_->addAudioInput({48000, 1, 128000});
        sessionOpen_ = blocksWritten_ = failureReported_ = false;
        if (!input_) {
            writer_.reset();
            setUpError = RecorderError::cannotUse(QStringLiteral("The microphone ") + name + QStringLiteral(" can't record right now."));
            return;
        }
        input_->setExpectsMediaDataInRealTime(true);
    });
    if (setUpError)
        return setUpError;
    if (!captureOpen_) {
        if (auto error = openCapture(microphone, name)) {
            queue_.sync([this] { writer_.reset(); });
            return error;
        }
    }
    url_ = path;
    microphoneName_ = capture_->sourceDescription().isEmpty() ? name : capture_->sourceDescription();
    recording_ = true;
    return std::nullopt;
}

std::optional<MediaSample> AudioOnlyRecorder::partFrom(const MediaSample& block, const MediaTime& start)
{
    const double late = (start - block.presentationTime()).seconds();
    if (late <= 0)
        return block;
    return SampleBufferRetiming::withoutLeadingFrames(block, std::llround(late * block.audio->sampleRate));
}

std::optional<AudioOnlyRecorder::RecorderError> AudioOnlyRecorder::openMicrophone(const Microphone& microphone)
{
    if (recording_.load())
        return RecorderError::cannotUse(QStringLiteral("The microphone ") + shownName(microphone) + QStringLiteral(" is already recording."));
    if (!captureOpen_) {
        // The last take's failure must not hide the loss of the sound opened for this one.
        queue_.sync([this] { failureReported_ = false; });
        if (auto error = openCapture(microphone, shownName(microphone)))
            return error;
    }
    capture_->waitUntilFlowing();
    return stoppedAhead(shownName(microphone));
}

std::optional<AudioOnlyRecorder::RecorderError> AudioOnlyRecorder::stoppedAhead(const QString& name)
{
    std::optional<QString> reason;
    {
        std::lock_guard guard(lostLock_);
        reason = lost_;
    }
    if (!reason)
        return std::nullopt;
    // Opened ahead, then lost (the sound server went away): a take now would hold no sound.
    closeMicrophone();
    return RecorderError::cannotUse(QStringLiteral("The microphone ") + name + QStringLiteral(" stopped before the take began: ") + *reason + QLatin1Char('.'));
}

void AudioOnlyRecorder::closeMicrophone()
{
    if (recording_.load() || !captureOpen_)
        return;
    capture_->stop();
    captureOpen_ = false;
}

std::optional<AudioOnlyRecorder::RecorderError> AudioOnlyRecorder::openCapture(const Microphone& microphone, const QString& name)
{
    if (!capture_)
        return RecorderError::cannotUse(QStringLiteral("The microphone ") + name + QStringLiteral(" can't record right now."));
    AudioCapture::Request request;
    request.source = microphone.uniqueID ? AudioCapture::Source::named : AudioCapture::Source::defaultMicrophone;
    request.sourceName = microphone.uniqueID.value_or(QString());
    request.sampleRate = 48000;
    request.channels = 1;
    {
        std::lock_guard guard(lostLock_);
        lost_.reset();
    }
    // Voice follow hears the sound as it is read: the take's blocks may be held while their place is found.
    request.onRead = [this](const MediaSample& block) {
        queue_.async([this, block] {
            if (speech_)
                speech_->feed(block);
        });
    };
    const auto error = capture_->start(
        request, [this](const MediaSample& block) { queue_.async([this, block] { handle(block); }); },
        [this](const QString& reason) {
            {
                std::lock_guard guard(lostLock_);
                if (!lost_)
                    lost_ = reason;
            }
            queue_.async([this, reason] { fail({QStringLiteral("PulseAudio"), 1, reason}); });
        });
    if (error)
        return RecorderError::cannotUse(QStringLiteral("The microphone ") + name + QStringLiteral(" can't be opened: ") + *error);
    captureOpen_ = true;
    return std::nullopt;
}

void AudioOnlyRecorder::handle(const MediaSample& delivered)
{
    if (!writer_ || !input_)
        return;
    MediaSample block = delivered;
    if (!sessionOpen_ && startAnchor_) {
        // The microphone was open before the take began: what it heard before the start is left out, even
        // when the sound server hands it over late.
        std::optional<MediaSample> fromStart = partFrom(delivered, *startAnchor_);
        if (!fromStart)
            return;
        block = std::move(*fromStart);
    }
    if (!sessionOpen_) {
        if (!writer_->startWriting()) {
            const auto error = writer_->error();
            fail(error ? error->info() : ErrorInfo{QStringLiteral("Media"), 0, QStringLiteral("the writer could not start")});
            writer_.reset();
            input_ = nullptr;
            return;
        }
        // The first block is the file's zero.
        writer_->startSession(block.presentationTime());
        sessionOpen_ = true;
    }
    if (!input_->isReadyForMoreMediaData())
        return;
    if (input_->append(block)) {
        blocksWritten_ = true;
    } else if (const auto error = writer_->error()) {
        fail(error->info());
    }
}

void AudioOnlyRecorder::fail(const ErrorInfo& error)
{
    if (failureReported_)
        return;
    failureReported_ = true;
    Diagnostics::log(error, QStringLiteral("voice track recording"));
    if (onFailure)
        onFailure(error);
}

QFuture<std::optional<QString>> AudioOnlyRecorder::stop()
{
    const bool wasRecording = recording_.exchange(false);
    if (!wasRecording) {
        const QString url = url_;
        return WorkerPool::takes().run([url]() -> std::optional<QString> {
            if (!url.isEmpty() && QFileInfo::exists(url))
                return url;
            return std::nullopt;
        });
    }
    stopping_ = WorkerPool::takes().run([this] { return stopAndFinish(); });
    return stopping_;
}

std::optional<QString> AudioOnlyRecorder::stopAndFinish()
{
    if (capture_)
        capture_->stop();
    captureOpen_ = false;
    std::optional<QString> result;
    queue_.sync([&] { result = finishOnQueue(); });
    return result;
}

std::optional<QString> AudioOnlyRecorder::finishOnQueue()
{
    std::unique_ptr<MovieWriter> writer = std::move(writer_);
    MovieWriterInput* input = std::exchange(input_, nullptr);
    if (!writer || !sessionOpen_) {
        // No sound ever arrived: nothing was written, and an unstarted writer left no file.
        if (writer)
            writer->cancelWriting();
        fail({QStringLiteral("AudioOnlyRecorder"), 1, QStringLiteral("no sound arrived from the microphone")});
        return std::nullopt;
    }
    input->markAsFinished();
    // The file is where it lies now: a folder renamed while the take recorded takes the open file along.
    if (writer->finishWriting() && writer->status() == MovieWriter::Status::completed) {
        const std::optional<QString> file = writer->location();
        if (!file)
            Diagnostics::log(QStringLiteral("voice track: the file was finished, but ") + QFileInfo(url_).fileName()
                + QStringLiteral(" was deleted or moved away meanwhile"));
        return file;
    }
    const auto error = writer->error();
    fail(error ? error->info() : ErrorInfo{QStringLiteral("Media"), 0, QStringLiteral("unknown writer failure")});
    // The capture file is fragmented: the sound written before the failure stays readable.
    return blocksWritten_ ? writer->location() : std::nullopt;
}
