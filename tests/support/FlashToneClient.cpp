#include "support/FlashToneClient.h"

#include "platform/audio/PulseConnection.h"
#include "platform/x11/XcbConnection.h"
#include "support/X11TestWindow.h"

#include <pulse/stream.h>

#include <chrono>
#include <cmath>
#include <cstring>

namespace {
constexpr int rate = 48000;
constexpr double toneLength = 0.3;

bool toneAt(double t, double seconds)
{
    const auto k = static_cast<int>(std::floor(t));
    return t < seconds && k % 2 == 1 && t - k < toneLength;
}
}

std::unique_ptr<FlashToneClient> FlashToneClient::start(const QByteArray& displayName, const QRect& square, const QString& sink, double seconds)
{
    std::unique_ptr<FlashToneClient> client(new FlashToneClient);
    client->seconds_ = seconds;
    client->x_ = XcbConnection::open(displayName.constData());
    client->pulse_ = PulseConnection::open(QStringLiteral("flash-tone"), "flash-tone");
    if (!client->x_ || !client->pulse_)
        return nullptr;
    client->square_ = std::make_unique<X11TestWindow>(*client->x_, square, 0xFFFFFF, X11TestWindow::Identity{});

    PulseConnection::Lock lock(*client->pulse_);
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, rate, 1};
    client->stream_ = pa_stream_new(client->pulse_->context(), "flash-tone", &sampleFormat, nullptr);
    if (!client->stream_)
        return nullptr;
    pa_stream_set_state_callback(client->stream_, [](pa_stream*, void* self) { static_cast<FlashToneClient*>(self)->pulse_->signal(); }, client.get());
    pa_stream_set_started_callback(client->stream_, [](pa_stream*, void* self) { static_cast<FlashToneClient*>(self)->started_ = true; }, client.get());
    pa_stream_set_write_callback(client->stream_, [](pa_stream*, size_t bytes, void* self) { static_cast<FlashToneClient*>(self)->write(bytes); }, client.get());
    pa_buffer_attr attributes;
    std::memset(&attributes, 0xFF, sizeof attributes);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(20'000, &sampleFormat));
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(client->stream_, sink.toUtf8().constData(), &attributes, flags, nullptr, nullptr) < 0)
        return nullptr;
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(client->stream_);
        if (state == PA_STREAM_READY)
            break;
        if (!PA_STREAM_IS_GOOD(state))
            return nullptr;
        pa_threaded_mainloop_wait(client->pulse_->mainloop());
    }
    client->watcher_ = std::thread([c = client.get()] { c->watch(); });
    return client;
}

FlashToneClient::~FlashToneClient()
{
    stopping_ = true;
    if (watcher_.joinable())
        watcher_.join();
    if (pulse_ && stream_) {
        PulseConnection::Lock lock(*pulse_);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_started_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    square_.reset();
    pulse_.reset();
}

void FlashToneClient::write(size_t bytes)
{
    const size_t frames = bytes / sizeof(float);
    std::vector<float> samples(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(writtenFrames_ + static_cast<int64_t>(i)) / rate;
        samples[i] = toneAt(t, seconds_) ? static_cast<float>(0.5 * std::sin(2 * M_PI * 1000 * t)) : 0.0f;
    }
    pa_stream_write(stream_, samples.data(), frames * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    writtenFrames_ += static_cast<int64_t>(frames);
}

void FlashToneClient::watch()
{
    bool shown = false;
    while (!stopping_) {
        pa_usec_t played = 0;
        int result;
        {
            // The playback clock means something only once the sink really plays the stream.
            PulseConnection::Lock lock(*pulse_);
            const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
            result = started_ && timing && timing->playing ? pa_stream_get_time(stream_, &played) : -1;
        }
        if (result == 0) {
            const double t = static_cast<double>(played) / 1e6;
            const bool tone = toneAt(t, seconds_);
            if (tone != shown) {
                if (tone) {
                    square_->map();
                    flashes_.fetch_add(1);
                } else {
                    square_->unmap();
                }
                shown = tone;
            }
            if (t >= seconds_)
                done_ = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

bool FlashToneClient::waitUntilDone(double timeoutSeconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
    while (!done_.load()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
