#include "platform/media/MovieWriter.h"

#include "platform/media/AudioEncoder.h"
#include "platform/media/MuxerFile.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/TrackFormatParameters.h"
#include "platform/media/VideoEncoder.h"
#include "platform/system/DispatchQueue.h"

#include "platform/system/WorkerPool.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <variant>

namespace {

// A non-real-time track may run this far ahead of its slowest unfinished sibling.
constexpr double interleaveWindowSeconds = 1.0;

} // namespace

struct MovieWriterTrack {
    enum class Kind { video, audio, passthrough };
    Kind kind = Kind::video;
    std::mutex appendLock; // one append or flush of this track at a time; taken before the writer's lock
    std::unique_ptr<VideoEncoder> video;
    std::unique_ptr<AudioEncoder> audio;
    TrackFormat format;
    std::optional<std::array<int32_t, 9>> displayMatrix;
    AVStream* stream = nullptr;
    AVRational sourceTimeBase {1, 90000};
    // Guarded by the writer's lock:
    bool finished = false;
    bool flushed = false;
    bool realTime = false;
    double lastSeconds = std::numeric_limits<double>::quiet_NaN();
    int64_t lastPts = std::numeric_limits<int64_t>::min();
    std::map<int64_t, int64_t> pendingDurations; // picture pts → its duration, until its packet leaves the encoder
    int64_t nominalDuration = 0;
    DispatchQueue* queue = nullptr;
    std::function<void()> block;
    bool scheduled = false;
    std::unique_ptr<MovieWriterInput> input;

    // Encoders leave packet durations empty; the last picture's duration decides the file's length.
    void applyDuration(AVPacket* packet)
    {
        if (kind != Kind::video || packet->duration > 0)
            return;
        auto it = pendingDurations.find(packet->pts);
        packet->duration = it != pendingDurations.end() ? it->second : nominalDuration;
        pendingDurations.erase(pendingDurations.begin(), it != pendingDurations.end() ? std::next(it) : pendingDurations.begin());
    }
};

struct MovieWriter::Private {
    mutable std::mutex lock;
    Status status = Status::unknown;
    std::optional<MediaError> error;
    std::optional<MediaError> lastInputError;
    std::unique_ptr<MuxerFile> muxer;
    std::vector<std::shared_ptr<MovieWriterTrack>> tracks;
    MediaTime sessionStart = MediaTime::invalid();
    MovieWriteMode mode = MovieWriteMode::finishing;
    MovieFileType type = MovieFileType::quickTimeMovie;
    QString siblingPurpose;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    // Under the lock: the opened encoder of a new track, or nothing once writing began or when it failed to
    // open (kept as the last input error).
    template <typename Encoder>
    std::unique_ptr<Encoder> encoderForNewTrack(std::variant<std::unique_ptr<Encoder>, MediaError>& opened)
    {
        if (status != Status::unknown)
            return nullptr;
        if (auto* failure = std::get_if<MediaError>(&opened)) {
            lastInputError = *failure;
            return nullptr;
        }
        return std::move(std::get<0>(opened));
    }
};

MovieWriter::MovieWriter(QString path, MovieFileType type, MovieWriteMode mode, QString siblingPurpose)
    : path_(std::move(path))
    , d(std::make_unique<Private>())
{
    d->mode = mode;
    d->type = type;
    d->siblingPurpose = siblingPurpose;
    d->muxer = std::make_unique<MuxerFile>(path_, type, mode, siblingPurpose);
}

bool MovieWriter::setPath(QString path)
{
    std::lock_guard guard(d->lock);
    if (d->status != Status::unknown)
        return false;
    path_ = std::move(path);
    d->muxer = std::make_unique<MuxerFile>(path_, d->type, d->mode, d->siblingPurpose);
    return true;
}

MovieWriter::~MovieWriter()
{
    *d->alive = false;
    std::lock_guard guard(d->lock);
    if (d->status == Status::writing || d->status == Status::unknown)
        d->muxer->abandon();
    // A track owns its input and the input shares the track: break the cycle, or every writer would keep
    // its encoders (hundreds of MB at 1080p) for the life of the process.
    for (auto& track : d->tracks) {
        track->block = nullptr;
        track->input.reset();
    }
}

MovieWriterInput* MovieWriter::addVideoInput(const VideoSettings& settings)
{
    auto opened = VideoEncoder::open(settings, true);
    std::lock_guard guard(d->lock);
    std::unique_ptr<VideoEncoder> encoder = d->encoderForNewTrack(opened);
    if (!encoder)
        return nullptr;
    auto track = std::make_shared<MovieWriterTrack>();
    track->kind = MovieWriterTrack::Kind::video;
    track->video = std::move(encoder);
    track->displayMatrix = settings.displayMatrix;
    track->sourceTimeBase = VideoEncoder::timeBase;
    track->nominalDuration = VideoEncoder::timeBase.den / std::max(settings.expectedFrameRate, 1);
    return addTrack(std::move(track));
}

MovieWriterInput* MovieWriter::addAudioInput(const AudioSettings& settings)
{
    auto opened = AudioEncoder::open(settings, true);
    std::lock_guard guard(d->lock);
    std::unique_ptr<AudioEncoder> encoder = d->encoderForNewTrack(opened);
    if (!encoder)
        return nullptr;
    auto track = std::make_shared<MovieWriterTrack>();
    track->kind = MovieWriterTrack::Kind::audio;
    track->audio = std::move(encoder);
    track->sourceTimeBase = AVRational {1, settings.sampleRate};
    return addTrack(std::move(track));
}

MovieWriterInput* MovieWriter::addPassthroughInput(const TrackFormat& format, std::optional<std::array<int32_t, 9>> displayMatrix)
{
    std::lock_guard guard(d->lock);
    if (d->status != Status::unknown)
        return nullptr;
    if (format.isEmpty()) {
        d->lastInputError = MediaError {QStringLiteral("no source format to pass through"), 0};
        return nullptr;
    }
    auto track = std::make_shared<MovieWriterTrack>();
    track->kind = MovieWriterTrack::Kind::passthrough;
    track->format = format;
    track->displayMatrix = displayMatrix ? displayMatrix : format.parameters()->displayMatrix;
    track->sourceTimeBase = format.parameters()->timeBase;
    return addTrack(std::move(track));
}

MovieWriterInput* MovieWriter::addTrack(std::shared_ptr<MovieWriterTrack> track)
{
    track->input.reset(new MovieWriterInput(*this, track));
    d->tracks.push_back(track);
    return track->input.get();
}

std::optional<MediaError> MovieWriter::lastInputError() const
{
    std::lock_guard guard(d->lock);
    return d->lastInputError;
}

bool MovieWriter::startWriting()
{
    std::unique_lock guard(d->lock);
    if (d->status != Status::unknown)
        return false;
    auto fail = [&](MediaError e) {
        d->muxer->abandon();
        d->status = Status::failed;
        d->error = std::move(e);
        return false;
    };
    if (d->tracks.empty())
        return fail({QStringLiteral("the movie has no tracks"), 0});
    if (auto failure = d->muxer->create())
        return fail(*failure);
    for (auto& track : d->tracks) {
        Libav::CodecParameters encoded;
        const AVCodecParameters* parameters = nullptr;
        if (track->kind == MovieWriterTrack::Kind::passthrough) {
            parameters = track->format.parameters()->codec.get();
        } else {
            encoded.reset(avcodec_parameters_alloc());
            avcodec_parameters_from_context(encoded.get(), track->video ? track->video->context() : track->audio->context());
            parameters = encoded.get();
        }
        AVStream* stream = d->muxer->addStream(parameters, track->sourceTimeBase, track->displayMatrix);
        if (!stream)
            return fail({QStringLiteral("could not add a track"), 0});
        track->stream = stream;
    }
    if (auto failure = d->muxer->writeHeader())
        return fail(*failure);
    d->status = Status::writing;
    guard.unlock();
    wakeWaitingInputs();
    return true;
}

void MovieWriter::startSession(const MediaTime& sourceTime)
{
    {
        std::lock_guard guard(d->lock);
        d->sessionStart = sourceTime.isNumeric() ? sourceTime : MediaTime::zero();
    }
    wakeWaitingInputs();
}

MovieWriter::Status MovieWriter::status() const
{
    std::lock_guard guard(d->lock);
    return d->status;
}

std::optional<QString> MovieWriter::location() const
{
    std::lock_guard guard(d->lock);
    return d->muxer->location();
}

std::optional<MediaError> MovieWriter::error() const
{
    std::lock_guard guard(d->lock);
    return d->error;
}

std::vector<std::string> MovieWriter::videoEncoderNames() const
{
    std::lock_guard guard(d->lock);
    std::vector<std::string> names;
    for (const auto& track : d->tracks) {
        if (track->video)
            names.push_back(track->video->encoderName());
    }
    return names;
}

void MovieWriter::fail(MediaError error)
{
    // Called with the writer's lock held.
    if (d->status != Status::writing)
        return;
    d->status = Status::failed;
    d->error = std::move(error);
    d->muxer->abandon();
}

bool MovieWriter::isTrackReady(const MovieWriterTrack& track) const
{
    if (d->status != Status::writing || !d->sessionStart.isNumeric() || track.finished)
        return false;
    if (track.realTime || std::isnan(track.lastSeconds))
        return true;
    for (const auto& other : d->tracks) {
        if (other.get() == &track || other->finished)
            continue;
        const double otherSeconds = std::isnan(other->lastSeconds) ? 0.0 : other->lastSeconds;
        if (track.lastSeconds - otherSeconds > interleaveWindowSeconds)
            return false;
    }
    return true;
}

void MovieWriter::wakeWaitingInputs()
{
    std::lock_guard guard(d->lock);
    for (const auto& track : d->tracks) {
        if (!track->queue || track->scheduled || !isTrackReady(*track))
            continue;
        track->scheduled = true;
        std::weak_ptr<MovieWriterTrack> weakTrack = track;
        std::weak_ptr<bool> alive = d->alive;
        track->queue->async([this, weakTrack, alive] {
            auto strongTrack = weakTrack.lock();
            if (!strongTrack || alive.expired())
                return;
            strongTrack->block();
            if (alive.expired())
                return;
            {
                std::lock_guard inner(d->lock);
                strongTrack->scheduled = false;
            }
            // Not only this track: what it appended may have let a sibling that waited on the interleaving
            // window go on, and nothing else would wake that one.
            wakeWaitingInputs();
        });
    }
}

bool MovieWriter::appendTo(MovieWriterTrack& track, const MediaSample& sample)
{
    std::lock_guard appendGuard(track.appendLock);
    MediaTime sessionStart;
    {
        std::lock_guard guard(d->lock);
        if (d->status != Status::writing || track.finished || !d->sessionStart.isNumeric())
            return false;
        sessionStart = d->sessionStart;
    }
    const MediaTime pts = sample.presentationTime();
    if (!pts.isNumeric())
        return false;
    const MediaTime relative = pts - sessionStart;

    auto sink = [&](AVPacket* packet) -> std::optional<MediaError> {
        track.applyDuration(packet);
        std::lock_guard guard(d->lock);
        if (d->status != Status::writing)
            return MediaError {QStringLiteral("the writer is not writing"), 0};
        packet->stream_index = track.stream->index;
        av_packet_rescale_ts(packet, track.sourceTimeBase, track.stream->time_base);
        return d->muxer->write(packet);
    };

    std::optional<MediaError> failure;
    double endSeconds = relative.seconds();
    switch (track.kind) {
    case MovieWriterTrack::Kind::video: {
        if (!sample.pixels && !sample.planar)
            return false;
        const int64_t ticks = Libav::ticksOf(relative, track.sourceTimeBase);
        if (ticks < 0)
            return true; // before the session: trimmed, like any writer does
        {
            std::lock_guard guard(d->lock);
            if (ticks <= track.lastPts)
                return false; // a picture must come after the previous one
        }
        const MediaTime duration = sample.duration();
        track.pendingDurations[ticks] = duration.isNumeric() && duration > MediaTime::zero() ? Libav::ticksOf(duration, track.sourceTimeBase) : track.nominalDuration;
        failure = sample.planar ? track.video->encode(*sample.planar, ticks, sink) : track.video->encode(*sample.pixels, ticks, sink);
        if (!failure) {
            std::lock_guard guard(d->lock);
            track.lastPts = ticks;
        }
        break;
    }
    case MovieWriterTrack::Kind::audio:
        if (!sample.audio)
            return false;
        failure = track.audio->encode(*sample.audio, relative, sink);
        endSeconds += sample.audio->sampleRate > 0 ? static_cast<double>(sample.audio->frameCount()) / sample.audio->sampleRate : 0.0;
        break;
    case MovieWriterTrack::Kind::passthrough: {
        if (!sample.packet)
            return false;
        Libav::Packet packet = Libav::makePacket();
        if (av_new_packet(packet.get(), static_cast<int>(sample.packet->data.size())) < 0)
            return false;
        std::memcpy(packet->data, sample.packet->data.data(), sample.packet->data.size());
        packet->pts = Libav::ticksOf(relative, track.sourceTimeBase);
        const SampleTiming& timing = sample.timing.front();
        packet->dts = timing.decodeTime.isNumeric() ? Libav::ticksOf(timing.decodeTime - sessionStart, track.sourceTimeBase) : packet->pts;
        packet->duration = timing.duration.isNumeric() ? Libav::ticksOf(timing.duration, track.sourceTimeBase) : 0;
        if (sample.packet->keyFrame)
            packet->flags |= AV_PKT_FLAG_KEY;
        {
            std::lock_guard guard(d->lock);
            if (packet->dts <= track.lastPts)
                return false;
            track.lastPts = packet->dts;
        }
        failure = sink(packet.get());
        break;
    }
    }
    std::lock_guard guard(d->lock);
    if (failure) {
        fail(*failure);
        return false;
    }
    if (std::isnan(track.lastSeconds) || endSeconds > track.lastSeconds)
        track.lastSeconds = endSeconds;
    return true;
}

void MovieWriter::finishTrack(MovieWriterTrack& track)
{
    {
        std::lock_guard guard(d->lock);
        if (track.finished)
            return;
        track.finished = true;
        track.queue = nullptr;
    }
    wakeWaitingInputs();
}

bool MovieWriter::finishWriting()
{
    {
        std::lock_guard guard(d->lock);
        if (d->status != Status::writing)
            return false;
    }
    std::vector<std::shared_ptr<MovieWriterTrack>> tracks;
    {
        std::lock_guard guard(d->lock);
        tracks = d->tracks;
        for (auto& track : tracks) {
            track->finished = true;
            track->queue = nullptr;
        }
    }
    for (auto& track : tracks) {
        std::lock_guard appendGuard(track->appendLock);
        auto sink = [&](AVPacket* packet) -> std::optional<MediaError> {
            track->applyDuration(packet);
            std::lock_guard guard(d->lock);
            if (d->status != Status::writing)
                return MediaError {QStringLiteral("the writer is not writing"), 0};
            packet->stream_index = track->stream->index;
            av_packet_rescale_ts(packet, track->sourceTimeBase, track->stream->time_base);
            return d->muxer->write(packet);
        };
        std::optional<MediaError> failure;
        if (track->video)
            failure = track->video->flush(sink);
        else if (track->audio)
            failure = track->audio->flush(sink);
        if (failure) {
            std::lock_guard guard(d->lock);
            fail(*failure);
            return false;
        }
    }
    std::lock_guard guard(d->lock);
    if (d->status != Status::writing)
        return false;
    if (auto failure = d->muxer->finish()) {
        d->status = Status::failed;
        d->error = failure;
        return false;
    }
    d->status = Status::completed;
    return true;
}

QFuture<bool> MovieWriter::finishWritingAsync()
{
    return WorkerPool::takes().run([this] { return finishWriting(); });
}

void MovieWriter::cancelWriting()
{
    std::lock_guard guard(d->lock);
    if (d->status == Status::completed || d->status == Status::cancelled)
        return;
    d->muxer->abandon();
    d->status = Status::cancelled;
    for (auto& track : d->tracks) {
        track->finished = true;
        track->queue = nullptr;
    }
}

// MovieWriterInput

MovieWriterInput::MovieWriterInput(MovieWriter& writer, std::shared_ptr<MovieWriterTrack> track)
    : writer_(writer)
    , track_(std::move(track))
{
}

MovieWriterInput::~MovieWriterInput() = default;

bool MovieWriterInput::isReadyForMoreMediaData() const
{
    std::lock_guard guard(writer_.d->lock);
    return writer_.isTrackReady(*track_);
}

bool MovieWriterInput::append(const MediaSample& sample) { return writer_.appendTo(*track_, sample); }

void MovieWriterInput::markAsFinished() { writer_.finishTrack(*track_); }

void MovieWriterInput::requestMediaDataWhenReady(DispatchQueue& queue, std::function<void()> block)
{
    {
        std::lock_guard guard(writer_.d->lock);
        if (track_->finished)
            return;
        track_->queue = &queue;
        track_->block = std::move(block);
    }
    writer_.wakeWaitingInputs();
}

void MovieWriterInput::setExpectsMediaDataInRealTime(bool realTime)
{
    std::lock_guard guard(writer_.d->lock);
    track_->realTime = realTime;
}

bool MovieWriterInput::expectsMediaDataInRealTime() const
{
    std::lock_guard guard(writer_.d->lock);
    return track_->realTime;
}

bool MovieWriterInput::isFinished() const
{
    std::lock_guard guard(writer_.d->lock);
    return track_->finished;
}
