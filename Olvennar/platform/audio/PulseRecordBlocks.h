#pragma once

#include "platform/system/HostClock.h"

#include <pulse/sample.h>
#include <pulse/stream.h>

#include <cstdint>
#include <cstring>

// Reading a float record stream block by block, as both sound captures do. With the mainloop lock held.
namespace PulseRecordBlocks {

// Blocks of about 10 ms, read as soon as they are rendered.
inline pa_buffer_attr attributes(const pa_sample_spec& format)
{
    pa_buffer_attr attributes;
    std::memset(&attributes, 0xFF, sizeof attributes);
    attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(10'000, &format));
    return attributes;
}

inline int64_t nanosecondsOf(size_t bytes, const pa_sample_spec* format) { return static_cast<int64_t>(pa_bytes_to_usec(bytes, format)) * 1000; }

// One block read from a record stream.
struct Block {
    const float* samples = nullptr; // null for a hole the server reported
    int64_t frames = 0;
    int64_t readAt = 0; // host nanoseconds
    int64_t queuedAfter = 0; // nanoseconds of sound already queued behind it
    int64_t duration = 0; // nanoseconds
};

// Hands every block the stream holds to `take`, oldest first; a block's samples live until `take` returns.
template <typename Take>
void readEvery(pa_stream* stream, int channels, Take&& take)
{
    const pa_sample_spec* format = pa_stream_get_sample_spec(stream);
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels);
    while (pa_stream_readable_size(stream) > 0) {
        const size_t readable = pa_stream_readable_size(stream);
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            return;
        take(Block{static_cast<const float*>(data), static_cast<int64_t>(bytes / frameBytes), HostClock::nowNanoseconds(),
            nanosecondsOf(readable - bytes, format), nanosecondsOf(bytes, format)});
        pa_stream_drop(stream);
    }
}

} // namespace PulseRecordBlocks
