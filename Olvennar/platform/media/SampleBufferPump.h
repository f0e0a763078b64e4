#pragma once

#include "platform/system/MediaTime.h"

#include <QFuture>

#include <functional>
#include <memory>

class DispatchQueue;
class ExportGate;
class SampleSink;
class SampleSource;

// Copies every sample of one reader output into one writer input at the writer's pace, holding still
// (0.25 s looks) while the export gate is raised. A refused append ends the pump like the end of data;
// the caller finds the refusal in the writer's status. One pump per input/output pair; not reused.
//
// Threading: the writer calls the pump's block on `queue`; `finished` is touched only there. The future
// completes exactly once, when the input has been marked finished.
class SampleBufferPump : public std::enable_shared_from_this<SampleBufferPump> {
public:
    static std::shared_ptr<SampleBufferPump> make(ExportGate& gate);

    QFuture<void> run(SampleSink& input, SampleSource& output, DispatchQueue& queue,
        std::function<void(const MediaTime&)> onSample = {});

    // How long a raised gate sleeps between looks (seconds); tests shorten it.
    void setGatePollInterval(double seconds) { gatePollSeconds_ = seconds; }

private:
    explicit SampleBufferPump(ExportGate& gate) : gate_(gate) {}

    ExportGate& gate_;
    bool finished_ = false;
    double gatePollSeconds_ = 0.25;
};
