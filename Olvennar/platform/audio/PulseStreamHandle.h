#pragma once

#include <pulse/stream.h>

#include <memory>

// Ends a stream's life: its callbacks cleared (none runs once it is gone), disconnected while it is
// connected, released. Reset with the mainloop lock held or on the mainloop thread.
struct PulseStreamRelease {
    void operator()(pa_stream* stream) const
    {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_overflow_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};
using PulseStream = std::unique_ptr<pa_stream, PulseStreamRelease>;
