#include "platform/audio/PulseAudioPlayback.h"

#include "platform/audio/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <cstring>

namespace {
constexpr pa_usec_t topUpInterval = 10'000;
constexpr pa_usec_t targetLength = 60'000;
}

PulseAudioPlayback::PulseAudioPlayback(QString streamName, QString sinkName)
    : streamName_(std::move(streamName))
    , sinkName_(std::move(sinkName))
{
}

PulseAudioPlayback::~PulseAudioPlayback() { stop(); }

std::optional<QString> PulseAudioPlayback::start(int sampleRate, int channels, Pull pull)
{
    stop();
    std::optional<QString> error = open(sampleRate, channels, std::move(pull));
    if (error)
        stop();
    return error;
}

std::optional<QString> PulseAudioPlayback::open(int sampleRate, int channels, Pull pull)
{
    if (sampleRate <= 0 || channels <= 0 || channels > static_cast<int>(PA_CHANNELS_MAX))
        return QStringLiteral("The sound has no playable format.");
    connection_ = PulseConnection::open(QStringLiteral("Olvennar"), "pulse.playback");
    if (!connection_)
        return QStringLiteral("The sound server could not be reached, so the take plays without sound.");
    channels_ = channels;
    pull_ = std::move(pull);
    PulseConnection::Lock lock(*connection_);
    stream_ = newFloatStream(connection_->context(), streamName_.toUtf8().constData(), sampleRate, channels);
    if (!stream_)
        return QStringLiteral("The sound stream could not be created.");
    pa_stream_set_state_callback(stream_.get(), [](pa_stream*, void* self) { static_cast<PulseAudioPlayback*>(self)->connection_->signal(); }, this);
    pa_buffer_attr attributes;
    std::memset(&attributes, 0xFF, sizeof attributes);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(targetLength, pa_stream_get_sample_spec(stream_.get())));
    attributes.prebuf = 0; // never stall on an empty buffer: the clock keeps running
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
    const QByteArray sink = sinkName_.toUtf8();
    if (pa_stream_connect_playback(stream_.get(), sinkName_.isEmpty() ? nullptr : sink.constData(), &attributes, flags, nullptr, nullptr) < 0)
        return QStringLiteral("The sound output could not be opened: %1").arg(QString::fromUtf8(pa_strerror(pa_context_errno(connection_->context()))));
    if (!connection_->waitUntilReady(stream_.get()))
        return QStringLiteral("The sound output could not be opened: %1").arg(QString::fromUtf8(pa_strerror(pa_context_errno(connection_->context()))));
    topUp();
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(connection_->mainloop());
    timeval due{};
    pa_timeval_add(pa_gettimeofday(&due), topUpInterval);
    timer_ = api->time_new(
        api, &due,
        [](pa_mainloop_api* loop, pa_time_event* event, const timeval*, void* self) {
            static_cast<PulseAudioPlayback*>(self)->topUp();
            timeval next{};
            pa_timeval_add(pa_gettimeofday(&next), topUpInterval);
            loop->time_restart(event, &next);
        },
        this);
    return std::nullopt;
}

void PulseAudioPlayback::topUp()
{
    if (!stream_ || pa_stream_get_state(stream_.get()) != PA_STREAM_READY)
        return;
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
    const int64_t wanted = static_cast<int64_t>(pa_stream_writable_size(stream_.get()) / frameBytes);
    if (wanted <= 0)
        return;
    buffer_.resize(static_cast<size_t>(wanted) * static_cast<size_t>(channels_));
    const int64_t filled = pull_ ? pull_(buffer_.data(), wanted) : 0;
    if (filled > 0)
        pa_stream_write(stream_.get(), buffer_.data(), static_cast<size_t>(filled) * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
}

double PulseAudioPlayback::playedSeconds() const
{
    if (!connection_ || !stream_)
        return 0;
    PulseConnection::Lock lock(*connection_);
    pa_usec_t time = 0;
    if (pa_stream_get_time(stream_.get(), &time) < 0)
        return 0;
    return static_cast<double>(time) / 1e6;
}

void PulseAudioPlayback::stop()
{
    if (!connection_)
        return;
    {
        PulseConnection::Lock lock(*connection_);
        if (timer_) {
            pa_threaded_mainloop_get_api(connection_->mainloop())->time_free(timer_);
            timer_ = nullptr;
        }
        stream_.reset();
    }
    connection_.reset();
    pull_ = nullptr;
}
