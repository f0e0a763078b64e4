#pragma once

#include "platform/media/SampleSource.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class ExportGate;

// Decodes the next few raw pictures on a thread of its own while the consumer renders and encodes the
// current one, so decoding and encoding overlap on a machine with two cores. Honours the export gate
// before every read, like the consumer does.
//
// Threading: copyNextSample() from one consumer thread. The reader thread owns `source_`; the fields below
// the lock are shared under it. The destructor stops the thread and joins it.
class FrameReadAhead final : public SampleSource {
public:
    FrameReadAhead(SampleSource& source, ExportGate& gate, double gatePollSeconds, size_t depth = 2);
    ~FrameReadAhead() override;
    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    std::optional<MediaSample> copyNextSample() override;

private:
    void readLoop();

    SampleSource& source_;
    ExportGate& gate_;
    double gatePollSeconds_;
    size_t depth_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<MediaSample> ready_;
    bool ended_ = false;
    bool stopping_ = false;
    std::thread reader_; // last: it starts once everything above exists
};
