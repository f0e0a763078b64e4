#include "finishing/Mixdown.h"

#include "takedata/ExportGate.h"
#include "capture/SampleBufferPump.h"
#include "finishing/MixdownProgress.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/DispatchQueue.h"

#include <chrono>
#include <thread>

namespace Mixdown {
namespace {

// A pump whose sibling track failed the writer is never asked for more data; stop waiting for it then.
void waitForPump(const QFuture<void>& future, const MovieWriter& writer)
{
    while (!future.isFinished() && writer.status() == MovieWriter::Status::writing)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
        QFuture<void> audioDone;
        if (audio)
            audioDone = audioPump->run(*audio->input, *audio->output, audioQueue);
        waitForPump(videoDone, writer);
        if (audio)
            waitForPump(audioDone, writer);
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
