#include "platform/audio/PulseAudioCapture.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/audio/PulseConnection.h"
#include "platform/audio/PulseRecordBlocks.h"

#include <pulse/error.h>
#include <pulse/timeval.h>

#include <algorithm>

PulseAudioCapture::PulseAudioCapture() = default;

PulseAudioCapture::~PulseAudioCapture() { stop(); }

std::optional<QString> PulseAudioCapture::start(const Request& request, BlockHandler onBlock, FailureHandler onFailure)
{
    stop();
    stopping_ = false;
    firstBlockRead_ = false;
    reportedTimingOnly_ = false;
    lastReadAt_ = 0;
    stalledFor_ = 0;
    afterStall_.clear();
    connection_ = PulseConnection::open(Edition::appName(), "pulse.capture");
    if (!connection_)
        return QStringLiteral("the sound server could not be reached");
    sampleRate_ = request.sampleRate > 0 ? request.sampleRate : 48000;
    channels_ = request.channels > 0 ? request.channels : 2;
    onBlock_ = std::move(onBlock);
    onRead_ = request.onRead;
    onFailure_ = std::move(onFailure);
    timestamper_ = std::make_unique<AudioTimestamper>(sampleRate_, channels_);

    PulseConnection::Lock lock(*connection_);
    const auto state = PulseAudioCatalog::query(*connection_);
    if (!state)
        return QStringLiteral("the sound server did not list its sources");
    QString name;
    switch (request.source) {
    case Source::named:
        name = request.sourceName;
        break;
    case Source::defaultMicrophone:
        name = state->defaultSource;
        break;
    case Source::systemAudio:
        // The default output's monitor carries what the computer plays.
        name = state->defaultSink + QStringLiteral(".monitor");
        break;
    }
    const AudioDeviceInfo* device = nullptr;
    for (const AudioDeviceInfo& source : state->sources) {
        if (source.name == name)
            device = &source;
    }
    if (!device)
        return QStringLiteral("the sound source %1 is not available").arg(name.isEmpty() ? QStringLiteral("(default)") : name);
    sourceName_ = device->name;
    description_ = device->description;
    monitor_ = device->isMonitor;

    stream_ = newFloatStream(connection_->context(), "capture", sampleRate_, channels_);
    if (!stream_)
        return QStringLiteral("the sound stream could not be created");
    pa_stream_set_state_callback(stream_.get(), [](pa_stream*, void* self) { static_cast<PulseAudioCapture*>(self)->streamStateChanged(); }, this);
    pa_stream_set_read_callback(stream_.get(), [](pa_stream*, size_t, void* self) { static_cast<PulseAudioCapture*>(self)->readAvailable(); }, this);
    pa_stream_set_overflow_callback(stream_.get(), [](pa_stream*, void* self) { static_cast<PulseAudioCapture*>(self)->overflowed(); }, this);
    pa_stream_set_moved_callback(stream_.get(), [](pa_stream*, void* self) { static_cast<PulseAudioCapture*>(self)->moved(); }, this);
    pa_stream_set_suspended_callback(stream_.get(), [](pa_stream*, void* self) { static_cast<PulseAudioCapture*>(self)->suspendedChanged(); }, this);
    const pa_buffer_attr attributes = PulseRecordBlocks::attributes(*pa_stream_get_sample_spec(stream_.get()));
    // Not monotonic: a corrected clock must not stand still while the reads catch up with it, which reads as latency.
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_NOT_MONOTONIC);
    const QByteArray deviceName = name.toUtf8();
    if (pa_stream_connect_record(stream_.get(), deviceName.constData(), &attributes, flags) < 0)
        return QStringLiteral("the sound source %1 could not be opened: %2").arg(name, QString::fromUtf8(pa_strerror(pa_context_errno(connection_->context()))));
    if (!connection_->waitUntilReady(stream_.get()))
        return QStringLiteral("the sound source %1 could not be opened: %2").arg(name, QString::fromUtf8(pa_strerror(pa_context_errno(connection_->context()))));
    running_ = true;
    return std::nullopt;
}

void PulseAudioCapture::waitUntilFlowing()
{
    if (!connection_ || !stream_)
        return;
    PulseConnection::Lock lock(*connection_);
    waitForFirstBlock();
}

void PulseAudioCapture::waitForFirstBlock()
{
    // A source that was idle (or a monitor whose output must first shorten its latency) may take most of a
    // second to send its first block. Until it does, a take starting its picture would have no sound.
    connection_->waitUntil([this] { return firstBlockRead_ || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get())); }, firstBlockTimeoutMicroseconds);
    if (!firstBlockRead_)
        Diagnostics::log(QStringLiteral("%1: no sound arrived within %2 s of opening the source").arg(sourceName_).arg(firstBlockTimeoutMicroseconds / 1e6));
}

void PulseAudioCapture::stop()
{
    // A second caller at the same moment waits here until the first closed the stream and its connection.
    std::lock_guard guard(stopLock_);
    if (!connection_)
        return;
    {
        PulseConnection::Lock lock(*connection_);
        // Sound still held while its latency settled belongs to the take: it goes out before the stream closes.
        if (timestamper_ && !stopping_) {
            // Read just after a stall, before it was known whether the server kept its sound: in place by count.
            stampAfterStall();
            AudioTimestamper::Fed fed = timestamper_->flush();
            deliver(fed);
        }
        stopping_ = true;
        running_ = false;
        stream_.reset();
    }
    connection_.reset();
}

void PulseAudioCapture::streamStateChanged()
{
    if (!stream_)
        return;
    connection_->signal();
    const pa_stream_state_t state = pa_stream_get_state(stream_.get());
    // Only a stream that was running reports; a refused connect is start()'s error.
    if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && running_ && !stopping_ && onFailure_)
        onFailure_(QStringLiteral("the sound source %1 stopped").arg(sourceName_));
}

void PulseAudioCapture::readAvailable()
{
    if (!stream_)
        return;
    PulseRecordBlocks::readEvery(stream_.get(), channels_, [this](const PulseRecordBlocks::Block& block) {
        if (lastReadAt_ > 0 && block.readAt - lastReadAt_ > AudioTimestamper::breakLimit) {
            // Reads stopped a while (the studio or the machine was held up). Whether the server kept the sound
            // meanwhile shows in the burst that follows; until then the blocks wait here.
            stalledFor_ = block.readAt - lastReadAt_;
            resumedAt_ = block.readAt;
            readSinceResumed_ = 0;
        }
        lastReadAt_ = block.readAt;
        int64_t latency = 0;
        if (block.samples) {
            // Time from the block's end to now. A microphone block ended when the source captured its last
            // frame: source latency plus what is queued behind it. A monitor block is rendered all at once and
            // starts sounding when it reaches the monitor, so its start is its arrival (no source latency).
            const int64_t queued = block.queuedAfter + block.duration;
            latency = block.queuedAfter;
            if (monitor_) {
                latency -= block.duration;
            } else {
                if (const std::optional<int64_t> total = streamLatency())
                    latency += std::max<int64_t>(0, *total - queued);
            }
            if (onRead_ && !stopping_)
                onRead_(readBlock(block, latency));
        } else {
            Diagnostics::log(QStringLiteral("%1: the sound server reported a hole of %2 ms").arg(sourceName_).arg(block.frames * 1000.0 / sampleRate_, 0, 'f', 1));
        }
        if (stalledFor_ > 0) {
            std::vector<float> samples;
            if (block.samples)
                samples.assign(block.samples, block.samples + block.frames * channels_);
            afterStall_.push_back({block.readAt, latency, std::move(samples), block.frames});
            readSinceResumed_ += block.duration;
            checkStall(block.readAt);
        } else {
            stamp(block.readAt, latency, block.samples, block.frames);
        }
        if (block.samples && !firstBlockRead_) {
            // The stream's clock runs from its last timing report, which counted the wait for this first block as
            // latency; the automatic reports come ever further apart (up to 1.5 s), so ask for one now.
            if (pa_operation* update = pa_stream_update_timing_info(stream_.get(), nullptr, nullptr))
                pa_operation_unref(update);
            firstBlockRead_ = true;
            connection_->signal();
        }
    });
}

void PulseAudioCapture::stamp(int64_t readAt, int64_t latency, const float* samples, int64_t frames)
{
    if (!samples) {
        // A hole the server reports: nothing was recorded there, and the timeline steps over it.
        timestamper_->skip(frames);
        return;
    }
    AudioTimestamper::Fed fed = timestamper_->feed(readAt, latency, samples, frames);
    deliver(fed);
}

void PulseAudioCapture::checkStall(int64_t readAt)
{
    // Sound that waited in the server through the stall comes at once after it: the reads run ahead of the
    // clock by the stall, every block keeps its place by count and the latency stays right.
    const int64_t ahead = readSinceResumed_ - (readAt - resumedAt_);
    const bool kept = ahead >= stalledFor_ - keptWithin;
    if (!kept && readAt - resumedAt_ < burstWithin)
        return;
    if (!kept) {
        // The server did not keep it (it was held up too, or dropped what this client did not read): libpulse's
        // interpolated latency ran on through the stall and learns the gap over many seconds, the server's own
        // reports at its next one, asked for now. Until its next report the measurements only count bytes on
        // from the last one, which hides the sound that never came: what comes is held until the latency is
        // steady again, as after a move.
        reportedTimingOnly_ = true;
        if (pa_operation* update = pa_stream_update_timing_info(stream_.get(), nullptr, nullptr))
            pa_operation_unref(update);
        const QString stalled = QStringLiteral("no block was read for %1 ms and the server kept %2 ms of it")
                                    .arg(stalledFor_ / 1e6, 0, 'f', 0)
                                    .arg(std::max<int64_t>(0, ahead) / 1e6, 0, 'f', 0);
        timestamper_->resettle(stalled);
        Diagnostics::log(sourceName_ + QStringLiteral(": ") + stalled + QStringLiteral("; the latency follows the server's reports from here on"));
    }
    stalledFor_ = 0;
    stampAfterStall();
}

void PulseAudioCapture::stampAfterStall()
{
    for (AfterStall& block : afterStall_)
        stamp(block.readAt, block.latency, block.samples.empty() ? nullptr : block.samples.data(), block.frames);
    afterStall_.clear();
}

MediaSample PulseAudioCapture::readBlock(const PulseRecordBlocks::Block& block, int64_t latency) const
{
    auto read = std::make_shared<AudioBlock>();
    read->sampleRate = sampleRate_;
    read->channels = channels_;
    read->samples.assign(block.samples, block.samples + block.frames * channels_);
    return MediaSample::sound(std::move(read), MediaTime::fromNanoseconds(block.readAt - latency - block.duration));
}

std::optional<int64_t> PulseAudioCapture::streamLatency() const
{
    if (!reportedTimingOnly_) {
        pa_usec_t total = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream_.get(), &total, &negative) == 0 && !negative)
            return static_cast<int64_t>(total) * 1000;
        return std::nullopt;
    }
    // The server's last timing report, carried forward by the time since: the source's latency, and what
    // it recorded that this client has not read yet.
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
    if (!timing || timing->read_index_corrupt || timing->write_index_corrupt)
        return std::nullopt;
    const pa_sample_spec* format = pa_stream_get_sample_spec(stream_.get());
    const int64_t frameBytes = static_cast<int64_t>(pa_frame_size(format));
    const int64_t unread = (timing->write_index - timing->read_index) / frameBytes * 1'000'000'000 / format->rate;
    const int64_t total = static_cast<int64_t>(timing->source_usec + timing->transport_usec + pa_timeval_age(&timing->timestamp)) * 1000 + unread;
    return total >= 0 ? std::optional<int64_t>(total) : std::nullopt;
}

void PulseAudioCapture::deliver(AudioTimestamper::Fed& fed)
{
    if (!fed.note.isEmpty())
        Diagnostics::log(sourceName_ + QStringLiteral(": ") + fed.note);
    for (const MediaSample& block : fed.blocks) {
        if (onBlock_ && !stopping_)
            onBlock_(block);
    }
}

void PulseAudioCapture::overflowed()
{
    if (!stream_)
        return;
    // The server threw away sound this client did not read in time: start again from the clock.
    timestamper_->resynchronize();
    Diagnostics::log(QStringLiteral("%1: the sound server dropped sound that was not read in time").arg(sourceName_));
}

void PulseAudioCapture::moved()
{
    if (!stream_)
        return;
    // The source went (unplugged) or the user moved the stream: the take goes on with another source, whose
    // sound comes after a pause and with a latency of its own.
    const char* device = pa_stream_get_device_name(stream_.get());
    const QString now = device ? QString::fromUtf8(device) : QStringLiteral("another source");
    // The interpolated latency drifts by up to hundreds of milliseconds for many seconds after a move, while
    // libpulse learns the new source's clock: the server's own reports are read from here on.
    reportedTimingOnly_ = true;
    // What was read before the move keeps its place by count.
    stalledFor_ = 0;
    stampAfterStall();
    timestamper_->resettle(QStringLiteral("the stream moved to ") + now);
    Diagnostics::log(QStringLiteral("%1: the sound server moved the stream to %2").arg(sourceName_, now));
}

void PulseAudioCapture::suspendedChanged()
{
    if (!stream_)
        return;
    // A suspended source sends nothing; when it wakes its sound starts afresh.
    const bool suspended = pa_stream_is_suspended(stream_.get()) == 1;
    reportedTimingOnly_ = true;
    stalledFor_ = 0;
    stampAfterStall();
    timestamper_->resettle(suspended ? QStringLiteral("the source was suspended") : QStringLiteral("the source woke"));
    Diagnostics::log(QStringLiteral("%1: the source %2").arg(sourceName_, suspended ? QStringLiteral("was suspended") : QStringLiteral("woke")));
}
