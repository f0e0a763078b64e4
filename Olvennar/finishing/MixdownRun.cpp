#include "finishing/Mixdown.h"

#include "platform/media/ExportGate.h"
#include "platform/media/SampleBufferPump.h"
#include "finishing/MixdownProgress.h"
#include "platform/media/MovieWriter.h"
#include "finishing/WriterRun.h"

#include <memory>

namespace Mixdown {

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
    if (std::optional<QString> refused = WriterRun::start(writer, sessionStart))
        return MixdownError {MixdownError::Kind::writerRefused, *refused};

    ExportGate& gate = options.gate ? *options.gate : ExportGate::shared();
    auto videoPump = SampleBufferPump::make(gate);
    videoPump->setGatePollInterval(options.gatePollSeconds);
    auto throttle = std::make_shared<ProgressThrottle>(progress, sessionStart.seconds(), duration.isNumeric() ? duration.seconds() : 0.0);
    std::function<void(const MediaTime&)> onVideoSample;
    if (throttle->isActive())
        onVideoSample = [throttle](const MediaTime& time) { throttle->sampleAppended(time.seconds()); };
    WriterRun::run(writer, {"com.quorrel.festrin.mixdown.video", "com.quorrel.festrin.mixdown.audio"},
        [&](DispatchQueue& queue) { return videoPump->run(*video.input, *video.output, queue, onVideoSample); }, audio ? audio->input : nullptr,
        audio ? audio->output : nullptr, gate, options.gatePollSeconds);

    // The studio quit under the export: its pumps stopped early, and a cut-short movie is never finished.
    if (gate.isAbandoned()) {
        writer.cancelWriting();
        return MixdownError {MixdownError::Kind::failed, QStringLiteral("the studio quit before the movie was finished")};
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
