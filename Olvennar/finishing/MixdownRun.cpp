#include "finishing/Mixdown.h"

#include "platform/media/ExportGate.h"
#include "platform/media/SampleBufferPump.h"
#include "finishing/MixdownProgress.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/DispatchQueue.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace Mixdown {
namespace {

// Blocks until both pumps are done. A pump whose sibling track failed the writer is never asked for more
// data and never finishes; the failing pump finishes though, and that wake-up finds the writer stopped.
void waitForPumps(QFuture<void>& video, std::optional<QFuture<void>>& audio, const MovieWriter& writer)
{
    struct Wake {
        std::mutex lock;
        std::condition_variable changed;
        int finished = 0;
    };
    auto wake = std::make_shared<Wake>();
    const auto onFinished = [wake] {
        {
            std::lock_guard guard(wake->lock);
            ++wake->finished;
        }
        wake->changed.notify_all();
    };
    video.then(QtFuture::Launch::Sync, onFinished);
    if (audio)
        audio->then(QtFuture::Launch::Sync, onFinished);
    std::unique_lock guard(wake->lock);
    wake->changed.wait(guard, [&] {
        const bool allDone = video.isFinished() && (!audio || audio->isFinished());
        return allDone || (wake->finished > 0 && writer.status() != MovieWriter::Status::writing);
    });
}

} // namespace

AudioOutputSettings pcmSettings() { return AudioOutputSettings {48000, 2}; }

AudioSettings aacSettings() { return AudioSettings {48000, 2, 256000}; }

std::optional<MixdownError> prepareInputs(MovieWriter& writer, MovieWriterInput* videoInput, SampleSource* mix, std::optional<Pair>& audioPair)
{
    if (!videoInput)
        return MixdownError {MixdownError::Kind::writerRefused, QStringLiteral("video track rejected")};
    videoInput->setExpectsMediaDataInRealTime(false);
    if (mix) {
        MovieWriterInput* audioInput = writer.addAudioInput(aacSettings());
        if (!audioInput)
            return MixdownError {MixdownError::Kind::writerRefused, QStringLiteral("audio track rejected")};
        audioInput->setExpectsMediaDataInRealTime(false);
        audioPair = Pair {audioInput, mix};
    }
    return std::nullopt;
}

std::optional<MixdownError> run(MovieWriter& writer, Pair video, std::optional<Pair> audio, const MediaTime& sessionStart,
    const Progress& progress, const MediaTime& duration, const std::function<std::optional<QString>()>& sourceFailure,
    const Options& options)
{
    if (!writer.startWriting()) {
        return MixdownError {MixdownError::Kind::writerRefused,
            writer.error() ? writer.error()->description : QStringLiteral("startWriting refused")};
    }
    writer.startSession(sessionStart);

    ExportGate& gate = options.gate ? *options.gate : ExportGate::shared();
    auto videoPump = SampleBufferPump::make(gate);
    videoPump->setGatePollInterval(options.gatePollSeconds);
    auto audioPump = SampleBufferPump::make(gate);
    audioPump->setGatePollInterval(options.gatePollSeconds);
    auto throttle = std::make_shared<ProgressThrottle>(progress, sessionStart.seconds(), duration.isNumeric() ? duration.seconds() : 0.0);
    std::function<void(const MediaTime&)> onVideoSample;
    if (throttle->isActive())
        onVideoSample = [throttle](const MediaTime& time) { throttle->sampleAppended(time.seconds()); };

    {
        // The queues run their last items and join before the writer finishes.
        DispatchQueue videoQueue("com.quorrel.festrin.mixdown.video");
        DispatchQueue audioQueue("com.quorrel.festrin.mixdown.audio");
        QFuture<void> videoDone = videoPump->run(*video.input, *video.output, videoQueue, onVideoSample);
        std::optional<QFuture<void>> audioDone;
        if (audio)
            audioDone = audioPump->run(*audio->input, *audio->output, audioQueue);
        waitForPumps(videoDone, audioDone, writer);
    }

    // A failed read would leave a short or silent movie: abandon it so an earlier final stays in place.
    if (std::optional<QString> failure = sourceFailure ? sourceFailure() : std::nullopt) {
        writer.cancelWriting();
        return MixdownError {MixdownError::Kind::failed, *failure};
    }
    writer.finishWriting();
    if (writer.status() != MovieWriter::Status::completed) {
        return MixdownError {MixdownError::Kind::failed,
            writer.error() ? writer.error()->description
                           : QStringLiteral("writer status ") + QString::number(static_cast<int>(writer.status()))};
    }
    // The last picture starts before the end of the take; the finished movie is all of it.
    throttle->finish();
    return std::nullopt;
}

} // namespace Mixdown
