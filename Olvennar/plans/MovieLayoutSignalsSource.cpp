#include "plans/MovieLayoutSignalsSource.h"

#include "plans/LayoutSignals.h"
#include "platform/media/MovieReader.h"

#include <cmath>
#include <limits>

namespace {

std::unique_ptr<MovieReader> openReader(const QString& path)
{
    auto opened = MovieReader::open(path);
    if (auto* reader = std::get_if<std::unique_ptr<MovieReader>>(&opened))
        return std::move(*reader);
    return nullptr; // an unreadable file leaves the signal absent
}

} // namespace

MovieLayoutSignalsSource::MovieLayoutSignalsSource(QString path)
    : path_(std::move(path))
{
}

std::optional<double> MovieLayoutSignalsSource::duration()
{
    auto asset = MovieAsset::open(path_);
    const auto* opened = std::get_if<MovieAsset>(&asset);
    if (!opened || !opened->duration().isNumeric())
        return std::nullopt;
    return opened->duration().seconds();
}

bool MovieLayoutSignalsSource::readVideoPackets(const std::function<void(const Packet&)>& sink)
{
    const std::unique_ptr<MovieReader> reader = openReader(path_);
    if (!reader)
        return false;
    const MovieTrack* track = reader->asset().firstTrack(MovieTrack::MediaType::video);
    MovieReaderOutput* output = track ? reader->addPacketOutput(track->index) : nullptr;
    if (!output || !reader->startReading())
        return false;
    while (const std::optional<MediaSample> sample = output->copyNextSample()) {
        if (!sample->packet)
            continue;
        const MediaTime time = sample->presentationTime();
        const double seconds = time.isNumeric() ? time.seconds() : std::numeric_limits<double>::quiet_NaN();
        sink(Packet{seconds, static_cast<int64_t>(sample->packet->data.size()), sample->packet->keyFrame});
    }
    return reader->status() == MovieReader::Status::completed;
}

bool MovieLayoutSignalsSource::readSpeechAudio(const std::function<void(const float* samples, size_t count)>& sink)
{
    const std::unique_ptr<MovieReader> reader = openReader(path_);
    if (!reader)
        return false;
    const MovieTrack* track = reader->asset().firstTrack(MovieTrack::MediaType::audio);
    MovieReaderOutput* output = track ? reader->addAudioOutput(track->index, AudioOutputSettings{LayoutSignals::speechSampleRate, 1}) : nullptr;
    if (!output || !reader->startReading())
        return false;
    while (const std::optional<MediaSample> sample = output->copyNextSample()) {
        if (sample->audio && !sample->audio->samples.empty())
            sink(sample->audio->samples.data(), sample->audio->samples.size());
    }
    return true;
}
