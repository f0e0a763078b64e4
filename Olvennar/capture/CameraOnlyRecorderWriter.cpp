// The camera-only recorder's writer queue: arming, the start gate, the movie writer, the timestamp guards,
// and the end of a take by stop or failure.
#include "capture/CameraOnlyRecorder.h"

#include "capture/SampleBufferRetiming.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/HostClock.h"
#include "takedata/RecordingClock.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>

#include <qcorofuture.h>

#include <cmath>

namespace {

constexpr double settleSeconds = 0.4;
constexpr double audioWaitSeconds = 3.0;
constexpr double closeFrameSeconds = 0.5;
constexpr double audioAgreementSeconds = 2.0;
constexpr double jumpSeconds = 5.0;
// The pixel format of every delivered frame.
constexpr uint32_t bgra = 0x42475241; // 'BGRA'

QString sizeText(QSize size) { return QStringLiteral("%1x%2").arg(size.width()).arg(size.height()); }

// Each side rounded down to even and at least 2, as the encoder needs.
QSize evenSize(int width, int height) { return QSize(std::max(2, width & ~1), std::max(2, height & ~1)); }

QString secondsText(double seconds, int decimals) { return QString::number(seconds, 'f', decimals); }

// The part of a sound block from `start` on, stamped there; nothing when the block ends before it.
std::optional<MediaSample> soundFrom(const MediaSample& block, const MediaTime& start)
{
    const int64_t skipped = static_cast<int64_t>(std::ceil((start - block.presentationTime()).seconds() * block.audio->sampleRate));
    if (skipped <= 0)
        return std::nullopt;
    return SampleBufferRetiming::withoutLeadingFrames(block, skipped);
}

} // namespace

QString CameraOnlyRecorder::describe(const std::optional<ErrorInfo>& error)
{
    if (!error)
        return QStringLiteral("no writer error");
    // Our errors carry no underlying chain or user info beyond the sentence.
    return QStringLiteral("[%1 %2] %3 reason=- userInfo={}").arg(error->domain).arg(error->code).arg(error->description);
}

QString CameraOnlyRecorder::fourCC(uint32_t code)
{
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xff);
        if (c < 0x20 || c > 0x7e)
            return QString::number(code);
        text += QLatin1Char(c);
    }
    return text;
}

// MARK: - Arming and stopping

std::optional<CameraOnlyRecorder::RecorderError> CameraOnlyRecorder::startRecording(const QString& path, std::shared_ptr<RecordingClock> clock)
{
    // A file already there is someone's footage: the take is refused, never written over.
    if (QFileInfo::exists(path))
        return RecorderError{RecorderError::Kind::writerFailed, QStringLiteral("a file already exists at ") + QFileInfo(path).fileName()};
    {
        // Opened in the countdown, then lost (the sound server went away): the take would be silent.
        std::lock_guard guard(microphoneLostLock_);
        if (microphoneLost_)
            return RecorderError{RecorderError::Kind::microphoneStopped, *microphoneLost_};
    }
    droppedFrames_ = 0;
    writerQueue_.sync([&] {
        closeWriter();
        lastVideoWritten_ = lastAudioWritten_ = gateCandidatePTS_ = gateFirstPTS_ = anchorPTS_ = MediaTime::invalid();
        gateSkipped_ = 0;
        armedAt_ = HostClock::now().seconds();
        failureReported_ = false;
        takeFailure_.reset();
        pendingSize_ = QSize(std::max(2, frameSize().width()), std::max(2, frameSize().height()));
        writtenSize_ = QSize();
        clock_ = std::move(clock);
        outputURL_ = path;
        sessionOpen_ = false;
        recording_ = true;
    });
    Diagnostics::log(QStringLiteral("camera-only armed: expected ") + sizeText(frameSize()) + QStringLiteral(" (format ") + sizeText(formatSize())
        + QStringLiteral(", rotation 0deg) -> ") + QFileInfo(path).fileName());
    return std::nullopt;
}

QCoro::Task<std::optional<QString>> CameraOnlyRecorder::stopRecording()
{
    auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    QFuture<std::optional<QString>> future = promise->future();
    promise->start();
    writerQueue_.async([this, promise] {
        std::optional<QString> result;
        if (const int64_t dropped = droppedFrames_.load(); recording_ && dropped > 0)
            Diagnostics::log(QStringLiteral("camera-only: %1 frames dropped while the writer lagged").arg(dropped));
        if (recording_) {
            recording_ = false;
            if (sessionOpen_ && writer_ && writer_->status() == MovieWriter::Status::writing) {
                videoInput_->markAsFinished();
                audioInput_->markAsFinished();
                // Where the movie lies now: a folder renamed while it recorded takes the open file along.
                if (writer_->finishWriting() && writer_->status() == MovieWriter::Status::completed) {
                    result = writer_->location();
                } else {
                    const QString reason = QStringLiteral("finishing the file failed — ")
                        + describe(writer_->error() ? std::optional(writer_->error()->info()) : std::nullopt);
                    Diagnostics::log(QStringLiteral("camera-only: ") + reason);
                    // The file is fragmented: what was written before the failure stays readable and is kept,
                    // as a failure during the take keeps it.
                    takeFailure_ = Failure{{RecorderError::Kind::writerFailed, reason}, std::nullopt, 0};
                    if (lastVideoWritten_.isValid()) {
                        takeFailure_->keptFile = writer_->location();
                        takeFailure_->keptSeconds = lastVideoWritten_.seconds();
                    }
                }
            } else if (writer_) {
                // The writer opened but took no frame: the empty file it made goes, wherever it lies now.
                writer_->cancelWriting();
                if (const auto empty = writer_->location())
                    QFile::remove(*empty);
            }
            writer_.reset();
            videoInput_ = audioInput_ = nullptr;
        }
        promise->addResult(result);
        promise->finish();
    });
    co_return co_await future;
}

std::optional<CameraOnlyRecorder::Failure> CameraOnlyRecorder::takeFailure()
{
    std::optional<Failure> failure;
    writerQueue_.sync([&] { failure = takeFailure_; });
    return failure;
}

void CameraOnlyRecorder::closeWriter()
{
    if (!writer_)
        return;
    // A take that was never stopped still leaves a complete movie.
    if (sessionOpen_ && writer_->status() == MovieWriter::Status::writing) {
        videoInput_->markAsFinished();
        audioInput_->markAsFinished();
        writer_->finishWriting();
    } else {
        writer_->cancelWriting();
    }
    writer_.reset();
    videoInput_ = audioInput_ = nullptr;
    recording_ = false;
}

// MARK: - The writer step

void CameraOnlyRecorder::write(const MediaSample& sample, bool video)
{
    const MediaTime pts = sample.presentationTime();
    if (!video)
        latestAudioPTS_ = pts;
    if (!recording_ || !clock_)
        return;
    if (!sessionOpen_) {
        // Sound only informs the gate until the file is open.
        if (!video || outputURL_.isEmpty() || !sample.pixels)
            return;
        if (!runGate(pts) || !openGate(sample, pts))
            return;
    }
    if (!writer_)
        return;
    if (video) {
        const QSize size = evenSize(sample.pixels->width(), sample.pixels->height());
        if (size != writtenSize_) {
            failTake(QStringLiteral("frame size changed mid-take: ") + sizeText(size) + QStringLiteral(" vs ") + sizeText(writtenSize_));
            return;
        }
    }
    if (!video && !lastAudioWritten_.isValid() && anchorPTS_.isValid() && pts < anchorPTS_) {
        // The block sounding when the first frame was taken starts the sound track at 0 with that frame.
        if (const std::optional<MediaSample> tail = soundFrom(sample, anchorPTS_))
            write(*tail, false);
        return;
    }
    const std::optional<MediaTime> adjusted = clock_->adjust(pts, video);
    if (!adjusted)
        return;
    MovieWriterInput* input = video ? videoInput_ : audioInput_;
    if (!input || !input->isReadyForMoreMediaData())
        return;
    MediaTime& last = video ? lastVideoWritten_ : lastAudioWritten_;
    const double delta = last.isValid() ? (*adjusted - last).seconds() : adjusted->seconds();
    if (std::abs(delta) > jumpSeconds) {
        Diagnostics::log(QStringLiteral("FATAL TIMESTAMP JUMP: %1 pts %2 raw, adjusted %3 after %4")
                             .arg(video ? QStringLiteral("video") : QStringLiteral("audio"))
                             .arg(secondsText(pts.seconds(), 3), secondsText(adjusted->seconds(), 3), secondsText(last.isValid() ? last.seconds() : 0, 3)));
        failTake(QStringLiteral("%1 timestamps jumped %2 s mid-take — stopped instead of writing a broken file")
                     .arg(video ? QStringLiteral("camera") : QStringLiteral("mic"), secondsText(delta, 1)));
        return;
    }
    if (last.isValid() && *adjusted <= last) {
        Diagnostics::log(QStringLiteral("dropped a non-advancing %1 sample (%2s after %3s)")
                             .arg(video ? QStringLiteral("camera") : QStringLiteral("mic"), secondsText(adjusted->seconds(), 4), secondsText(last.seconds(), 4)));
        return;
    }
    const std::optional<MediaSample> retimed = SampleBufferRetiming::retimed(sample, pts - *adjusted);
    if (!retimed)
        return;
    if (!input->append(*retimed)) {
        const std::optional<MediaError> error = writer_->error();
        QString reason = QStringLiteral("%1 append rejected at %2s, writer status %3, ")
                             .arg(video ? QStringLiteral("video") : QStringLiteral("audio"), secondsText(adjusted->seconds(), 3))
                             .arg(static_cast<int>(writer_->status()))
            + describe(error ? std::optional(error->info()) : std::nullopt);
        if (video)
            reason += QStringLiteral(", sample format BGRA ") + sizeText(QSize(sample.pixels->width(), sample.pixels->height()));
        else
            reason += QStringLiteral(", sample format PCM float %1 Hz %2 ch").arg(sample.audio->sampleRate).arg(sample.audio->channels);
        failTake(reason);
        return;
    }
    last = *adjusted;
}

bool CameraOnlyRecorder::runGate(const MediaTime& pts)
{
    if (!gateFirstPTS_.isValid())
        gateFirstPTS_ = pts;
    const auto closeToCandidate = [&] { return gateCandidatePTS_.isValid() && std::abs((pts - gateCandidatePTS_).seconds()) < closeFrameSeconds; };
    if ((pts - gateFirstPTS_).seconds() < settleSeconds) {
        skipLeadingFrame(pts, QStringLiteral("camera settling after the session change"));
        return false;
    }
    if (!latestAudioPTS_.isValid()) {
        if (HostClock::now().seconds() - armedAt_ < audioWaitSeconds) {
            skipLeadingFrame(pts, QStringLiteral("no audio yet"));
            return false;
        }
        if (closeToCandidate())
            return true;
        skipLeadingFrame(pts, QStringLiteral("no audio, waiting for a second close frame"));
        return false;
    }
    if (std::abs((pts - latestAudioPTS_).seconds()) <= audioAgreementSeconds) {
        if (closeToCandidate())
            return true;
        skipLeadingFrame(pts, QStringLiteral("waiting for a second close frame"));
        return false;
    }
    skipLeadingFrame(pts, QStringLiteral("pts %1 vs audio %2").arg(secondsText(pts.seconds(), 3), secondsText(latestAudioPTS_.seconds(), 3)));
    return false;
}

void CameraOnlyRecorder::skipLeadingFrame(const MediaTime& pts, const QString& reason)
{
    ++gateSkipped_;
    gateCandidatePTS_ = pts;
    Diagnostics::log(QStringLiteral("camera-only gate: skipped leading frame %1: ").arg(gateSkipped_) + reason);
}

bool CameraOnlyRecorder::openGate(const MediaSample& sample, const MediaTime& pts)
{
    if (gateSkipped_ > 0)
        Diagnostics::log(QStringLiteral("camera-only gate: skipped %1 leading frames, anchoring at pts %2 (audio %3)")
                             .arg(gateSkipped_)
                             .arg(secondsText(pts.seconds(), 3), secondsText(latestAudioPTS_.isValid() ? latestAudioPTS_.seconds() : -1.0, 3)));
    clock_->begin(pts);
    anchorPTS_ = pts;
    if (auto error = openWriter(*sample.pixels)) {
        failTake(QStringLiteral("could not open the writer — ") + describe(error));
        return false;
    }
    if (!writer_->startWriting()) {
        const std::optional<MediaError> error = writer_->error();
        failTake(QStringLiteral("startWriting refused — ") + describe(error ? std::optional(error->info()) : std::nullopt));
        return false;
    }
    writer_->startSession(MediaTime::zero());
    sessionOpen_ = true;
    return true;
}

std::optional<ErrorInfo> CameraOnlyRecorder::openWriter(const PixelBuffer& firstFrame)
{
    const QSize buffer(firstFrame.width(), firstFrame.height());
    const QSize size = evenSize(buffer.width(), buffer.height());
    Diagnostics::log(QStringLiteral("camera-only first frame: buffer ") + sizeText(buffer) + QStringLiteral(" fmt ") + fourCC(bgra)
        + QStringLiteral("; expected ") + sizeText(pendingSize_) + QStringLiteral("; writer ") + sizeText(size));
    if (pendingSize_ != buffer)
        Diagnostics::log(QStringLiteral("camera-only NOTE: delivered size differs from the configured format size; using the delivered size"));
    auto writer = std::make_unique<MovieWriter>(outputURL_, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    VideoSettings video;
    video.codec = VideoSettings::Codec::h264; // High profile, automatic level
    video.width = size.width();
    video.height = size.height();
    video.averageBitRate = static_cast<int64_t>(static_cast<double>(size.width()) * size.height() * 6.0);
    video.maxKeyFrameInterval = 60;
    video.allowFrameReordering = false;
    video.expectedFrameRate = 30;
    // Frames arrive in real time on one queue; a fast preset keeps up at 1080p30 on two cores.
    video.preset = "veryfast";
    MovieWriterInput* videoInput = writer->addVideoInput(video);
    if (!videoInput)
        return RecorderError{RecorderError::Kind::writerFailed, QStringLiteral("video track rejected")}.info();
    MovieWriterInput* audioInput = writer->addAudioInput({48000, 1, 256000});
    if (!audioInput)
        return RecorderError{RecorderError::Kind::writerFailed, QStringLiteral("audio track rejected")}.info();
    videoInput->setExpectsMediaDataInRealTime(true);
    audioInput->setExpectsMediaDataInRealTime(true);
    writer_ = std::move(writer);
    videoInput_ = videoInput;
    audioInput_ = audioInput;
    writtenSize_ = size;
    return std::nullopt;
}

// MARK: - Failure

void CameraOnlyRecorder::failTake(const QString& reason)
{
    if (failureReported_)
        return;
    failureReported_ = true;
    recording_ = false;
    Failure failure{{RecorderError::Kind::writerFailed, reason}, std::nullopt, 0};
    if (writer_) {
        if (sessionOpen_ && lastVideoWritten_.isValid()) {
            // What was written up to the last good sample is the take: the file is finished, never removed.
            videoInput_->markAsFinished();
            audioInput_->markAsFinished();
            writer_->finishWriting();
            failure.keptSeconds = lastVideoWritten_.seconds();
            failure.keptFile = writer_->location();
        } else {
            writer_->cancelWriting();
            if (const auto empty = writer_->location())
                QFile::remove(*empty);
        }
        writer_.reset();
        videoInput_ = audioInput_ = nullptr;
    } else if (QFileInfo::exists(outputURL_)) {
        failure.keptFile = outputURL_;
    }
    Diagnostics::log(QStringLiteral("FATAL: camera-only ") + reason);
    takeFailure_ = failure;
    if (onFailure_)
        onFailure_(failure);
}

void CameraOnlyRecorder::cameraDisconnected()
{
    Diagnostics::log(QStringLiteral("camera-only: camera disconnected"));
    if (recording_)
        failTake(QStringLiteral("the camera was disconnected"));
}
