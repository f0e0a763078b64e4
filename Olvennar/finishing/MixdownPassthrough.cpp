#include "finishing/Mixdown.h"

#include "platform/media/AudioMix.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/RegularFile.h"

namespace Mixdown {
namespace {

std::unique_ptr<MovieReader> openReader(const QString& path, std::optional<MixdownError>& failure)
{
    if (std::optional<QString> refused = RegularFile::otherThanRegular(path)) {
        failure = MixdownError {MixdownError::Kind::readerRefused, *refused};
        return nullptr;
    }
    auto opened = MovieReader::open(path);
    if (auto* error = std::get_if<MediaError>(&opened)) {
        failure = MixdownError {MixdownError::Kind::readerRefused, error->description};
        return nullptr;
    }
    return std::move(std::get<0>(opened));
}

std::vector<int> audioTrackIndices(const MovieAsset& asset)
{
    std::vector<int> indices;
    for (const MovieTrack* track : asset.tracks(MovieTrack::MediaType::audio))
        indices.push_back(track->index);
    return indices;
}

} // namespace

std::optional<MixdownError> composePassthrough(const QString& raw, const QString& to, const Progress& progress, const Options& options)
{
    std::optional<MixdownError> failure;
    std::unique_ptr<MovieReader> videoReader = openReader(raw, failure);
    if (!videoReader)
        return failure;
    const MovieAsset& asset = videoReader->asset();
    const MovieTrack* screen = asset.firstTrack(MovieTrack::MediaType::video);
    if (!screen)
        return MixdownError {MixdownError::Kind::noVideoTrack, {}};
    MovieReaderOutput* videoOutput = videoReader->addPacketOutput(screen->index);
    if (!videoOutput)
        return MixdownError {MixdownError::Kind::readerRefused, QStringLiteral("video track rejected")};

    // Sound comes from its own reader so neither output queues up the other's packets.
    const std::vector<int> audioTracks = audioTrackIndices(asset);
    std::unique_ptr<MovieReader> audioReader;
    std::unique_ptr<AudioMix> mix;
    if (!audioTracks.empty()) {
        audioReader = openReader(raw, failure);
        if (!audioReader)
            return failure;
        mix = std::make_unique<AudioMix>(*audioReader, audioTracks, pcmSettings());
        // Sound the take has but that cannot be decoded fails the job instead of leaving a silent final.
        if (mix->isEmpty() || audioReader->error())
            return MixdownError {MixdownError::Kind::readerRefused, QStringLiteral("audio track rejected")};
    }

    MovieWriter writer(to, MovieFileType::quickTimeMovie, MovieWriteMode::finishing, QStringLiteral("mixdown"));
    MovieWriterInput* videoInput = writer.addPassthroughInput(screen->format, screen->displayMatrix);
    std::optional<Pair> audioPair;
    if (auto refused = prepareInputs(writer, videoInput, mix.get(), audioPair))
        return refused;

    if (!videoReader->startReading() || (audioReader && !audioReader->startReading())) {
        const MovieReader& refused = videoReader->status() == MovieReader::Status::reading ? *audioReader : *videoReader;
        return MixdownError {MixdownError::Kind::readerRefused,
            refused.error() ? refused.error()->description : QStringLiteral("startReading refused")};
    }
    auto readFailure = [&]() -> std::optional<QString> {
        for (const MovieReader* reader : {videoReader.get(), audioReader.get()}) {
            if (reader && reader->status() == MovieReader::Status::failed)
                return reader->error() ? reader->error()->description : QStringLiteral("reader failed");
        }
        return std::nullopt;
    };
    return run(writer, Pair {videoInput, videoOutput}, audioPair, MediaTime::zero(), progress, asset.duration(), readFailure, options);
}

} // namespace Mixdown
