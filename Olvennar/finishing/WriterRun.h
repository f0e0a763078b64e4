#pragma once

#include "platform/system/MediaTime.h"

#include <QFuture>
#include <QString>

#include <functional>
#include <optional>

class DispatchQueue;
class ExportGate;
class MovieWriter;
class MovieWriterInput;
class SampleSource;

// The writer run every export shares (the mixdown, the short): the writer started at the session start, the
// video half and the sound pump on two named serial queues, both holding still while the export gate is
// raised. Blocking; on the calling worker thread.
namespace WriterRun {

// The queues' thread names.
struct Labels {
    const char* video;
    const char* audio;
};
// Starts the video half on its queue; its future completes once its input is marked finished.
using VideoHalf = std::function<QFuture<void>(DispatchQueue& queue)>;

// Starts writing at `sessionStart`; the writer's reason when it will not start.
std::optional<QString> start(MovieWriter& writer, const MediaTime& sessionStart);

// Runs the video half and, when given, pumps the sound from `audioSource` into `audioInput`. Returns once both
// are done, or once one is done and the writer has stopped (a half whose sibling failed the writer is never
// asked for more data); the queues have run their last items and joined by then.
void run(const MovieWriter& writer, Labels labels, const VideoHalf& video, MovieWriterInput* audioInput, SampleSource* audioSource, ExportGate& gate,
    double gatePollSeconds);

} // namespace WriterRun
