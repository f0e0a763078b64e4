#include "platform/media/MovieAsset.h"

#include "platform/media/LibavHandles.h"
#include "platform/media/MovieBoxes.h"
#include "platform/media/TrackFormatParameters.h"

#include <QFile>

#include <algorithm>

MediaTime MovieTrack::mediaStart() const
{
    MediaTime result = start < MediaTime::zero() ? MediaTime::zero() : start;
    if (emptyEditDuration > MediaTime::zero() && emptyEditDuration > result)
        result = emptyEditDuration;
    return result;
}

std::optional<double> MovieAsset::durationSeconds(const QString& path)
{
    const auto opened = open(path);
    if (const auto* movie = std::get_if<MovieAsset>(&opened))
        return movie->duration().seconds();
    return std::nullopt;
}

std::variant<MovieAsset, MediaError> MovieAsset::open(const QString& path)
{
    Libav::quietLogs();
    AVFormatContext* raw = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = avformat_open_input(&raw, name.constData(), nullptr, nullptr);
    if (rc < 0)
        return MediaError {QStringLiteral("could not open ") + path + QStringLiteral(": ") + Libav::errorText(rc), rc};
    Libav::InputFormat context(raw);
    rc = avformat_find_stream_info(context.get(), nullptr);
    if (rc < 0)
        return MediaError {QStringLiteral("could not read ") + path + QStringLiteral(": ") + Libav::errorText(rc), rc};

    const MovieBoxes::MovieHeader boxes = MovieBoxes::read(path);
    MovieAsset asset;
    asset.path_ = path;
    if (context->duration > 0)
        asset.duration_ = MediaTime(context->duration, AV_TIME_BASE);
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        MovieTrack track;
        track.index = static_cast<int>(i);
        track.trackID = stream->id;
        track.mediaType = par->codec_type == AVMEDIA_TYPE_VIDEO ? MovieTrack::MediaType::video
            : par->codec_type == AVMEDIA_TYPE_AUDIO             ? MovieTrack::MediaType::audio
                                                                : MovieTrack::MediaType::other;
        track.codecName = avcodec_get_name(par->codec_id);
        if (const char* profile = avcodec_profile_name(par->codec_id, par->profile))
            track.profileName = profile;
        track.width = par->width;
        track.height = par->height;
        track.hasFrameReordering = par->video_delay > 0;
        if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0)
            track.nominalFrameRate = av_q2d(stream->avg_frame_rate);
        track.sampleRate = par->sample_rate;
        track.channels = par->ch_layout.nb_channels;
        track.bitRate = par->bit_rate;
        if (stream->start_time != AV_NOPTS_VALUE)
            track.start = Libav::timeOf(stream->start_time, stream->time_base);
        if (stream->duration > 0)
            track.duration = Libav::timeOf(stream->duration, stream->time_base);
        else if (asset.duration_ > track.start)
            track.duration = asset.duration_ - track.start;
        if (auto it = boxes.tracks.find(stream->id); it != boxes.tracks.end() && boxes.timescale > 0)
            track.emptyEditDuration = MediaTime(it->second.leadingEmptyEdit, static_cast<int32_t>(boxes.timescale));
        track.format = TrackFormat::Parameters::fromStream(stream);
        track.displayMatrix = track.format.parameters()->displayMatrix;
        asset.tracks_.push_back(std::move(track));
    }
    for (const MovieTrack& track : asset.tracks_)
        asset.duration_ = std::max(asset.duration_, track.end());
    return asset;
}

std::vector<const MovieTrack*> MovieAsset::tracks(MovieTrack::MediaType type) const
{
    std::vector<const MovieTrack*> result;
    for (const MovieTrack& track : tracks_) {
        if (track.mediaType == type)
            result.push_back(&track);
    }
    return result;
}

const MovieTrack* MovieAsset::firstTrack(MovieTrack::MediaType type) const
{
    auto all = tracks(type);
    return all.empty() ? nullptr : all.front();
}
