#pragma once

#include <pulse/channelmap.h>
#include <pulse/context.h>
#include <pulse/stream.h>

#include <memory>

// Ends a stream's life: every callback cleared (none runs once it is gone, although libpulse keeps the
// stream until the server confirmed its disconnect, and still passes it notices of moves or suspensions
// meanwhile), disconnected while it is connected, released. Reset with the mainloop lock held or on the
// mainloop thread.
struct PulseStreamRelease {
    void operator()(pa_stream* stream) const
    {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_overflow_callback(stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream, nullptr, nullptr);
        pa_stream_set_started_callback(stream, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream, nullptr, nullptr);
        pa_stream_set_moved_callback(stream, nullptr, nullptr);
        pa_stream_set_suspended_callback(stream, nullptr, nullptr);
        pa_stream_set_event_callback(stream, nullptr, nullptr);
        pa_stream_set_buffer_attr_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};
using PulseStream = std::unique_ptr<pa_stream, PulseStreamRelease>;

// A new stream of 32-bit float samples in the default channel order; empty when the server refused it.
// With the mainloop lock held.
inline PulseStream newFloatStream(pa_context* context, const char* name, int sampleRate, int channels)
{
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(sampleRate), static_cast<uint8_t>(channels)};
    pa_channel_map map;
    pa_channel_map_init_extend(&map, format.channels, PA_CHANNEL_MAP_DEFAULT);
    return PulseStream(pa_stream_new(context, name, &format, &map));
}
