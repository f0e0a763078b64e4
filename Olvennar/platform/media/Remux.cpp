#include "platform/media/Remux.h"

#include "platform/media/MovieReader.h"
#include "platform/media/MuxerFile.h"
#include "platform/media/TrackFormatParameters.h"

#include <cstring>
#include <memory>

namespace Remux {
namespace {

struct Source {
    std::unique_ptr<MovieReader> reader;
    MovieReaderOutput* output = nullptr;
    AVStream* stream = nullptr;
    AVRational sourceTimeBase {1, 90000};
    MediaTime shift; // added to every source time
    std::optional<MediaSample> next;
};

MediaTime decodeTimeOf(const MediaSample& sample)
{
    const SampleTiming& timing = sample.timing.front();
    return timing.decodeTime.isNumeric() ? timing.decodeTime : timing.presentationTime;
}

} // namespace

std::optional<MediaError> write(const QString& destination, const std::vector<Insert>& inserts, const Options& options)
{
    if (inserts.empty())
        return MediaError {QStringLiteral("nothing to copy"), 0};
    std::vector<Source> sources;
    for (const Insert& insert : inserts) {
        auto opened = MovieReader::open(insert.sourcePath);
        if (auto* failure = std::get_if<MediaError>(&opened))
            return *failure;
        Source source;
        source.reader = std::move(std::get<0>(opened));
        if (insert.trackIndex < 0 || insert.trackIndex >= static_cast<int>(source.reader->asset().tracks().size()))
            return MediaError {QStringLiteral("no track %1 in ").arg(insert.trackIndex) + insert.sourcePath, 0};
        source.reader->setTimeRange(insert.sourceStart, insert.sourceDuration);
        source.output = source.reader->addPacketOutput(insert.trackIndex);
        if (!source.output || !source.reader->startReading())
            return MediaError {QStringLiteral("could not read ") + insert.sourcePath, 0};
        source.shift = insert.destinationStart - insert.sourceStart;
        sources.push_back(std::move(source));
    }

    MuxerFile muxer(destination, options.type, MovieWriteMode::finishing, options.siblingPurpose);
    if (auto failure = muxer.create())
        return failure;
    for (size_t i = 0; i < sources.size(); ++i) {
        const MovieTrack& track = sources[i].reader->asset().tracks()[static_cast<size_t>(inserts[i].trackIndex)];
        const TrackFormat::Parameters* format = track.format.parameters();
        AVStream* stream = muxer.addStream(format->codec.get(), format->timeBase, format->displayMatrix);
        if (!stream)
            return MediaError {QStringLiteral("could not add a track"), 0};
        sources[i].stream = stream;
        sources[i].sourceTimeBase = format->timeBase;
    }
    if (auto failure = muxer.writeHeader())
        return failure;

    for (Source& source : sources)
        source.next = source.output->copyNextSample();
    Libav::Packet packet = Libav::makePacket();
    for (;;) {
        // Interleave by decode time across all inserts.
        Source* earliest = nullptr;
        for (Source& source : sources) {
            if (source.next && (!earliest || decodeTimeOf(*source.next) + source.shift < decodeTimeOf(*earliest->next) + earliest->shift))
                earliest = &source;
        }
        if (!earliest)
            break;
        const MediaSample sample = std::move(*earliest->next);
        earliest->next = earliest->output->copyNextSample();
        const EncodedPacket& payload = *sample.packet;
        if (av_new_packet(packet.get(), static_cast<int>(payload.data.size())) < 0)
            return MediaError {QStringLiteral("out of memory"), 0};
        std::memcpy(packet->data, payload.data.data(), payload.data.size());
        const SampleTiming& timing = sample.timing.front();
        const AVRational base = earliest->sourceTimeBase;
        packet->pts = Libav::ticksOf(timing.presentationTime + earliest->shift, base);
        packet->dts = Libav::ticksOf(decodeTimeOf(sample) + earliest->shift, base);
        packet->duration = timing.duration.isNumeric() ? Libav::ticksOf(timing.duration, base) : 0;
        packet->flags = payload.keyFrame ? AV_PKT_FLAG_KEY : 0;
        packet->stream_index = earliest->stream->index;
        av_packet_rescale_ts(packet.get(), base, earliest->stream->time_base);
        if (auto failure = muxer.write(packet.get()))
            return failure;
        av_packet_unref(packet.get());
    }
    for (const Source& source : sources) {
        if (source.reader->status() == MovieReader::Status::failed)
            return source.reader->error().value_or(MediaError {QStringLiteral("could not read ") + source.reader->asset().path(), 0});
    }
    return muxer.finish();
}

} // namespace Remux
