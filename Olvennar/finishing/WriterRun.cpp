#include "finishing/WriterRun.h"

#include "platform/media/SampleBufferPump.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/DispatchQueue.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace WriterRun {

namespace {

// Blocks until both halves are done. A half whose sibling track failed the writer is never asked for more
// data and never finishes; the failing half finishes though, and that wake-up finds the writer stopped.
void waitForHalves(QFuture<void>& video, std::optional<QFuture<void>>& audio, const MovieWriter& writer)
{
    struct Wake {
        std::mutex lock;
        std::condition_variable changed;
        int finished = 0;
    };
    auto wake = std::make_shared<Wake>();
    const auto onFinished = [wake] {
        {
            std::lock_guard guard(wake->lock);
            ++wake->finished;
        }
        wake->changed.notify_all();
    };
    video.then(QtFuture::Launch::Sync, onFinished);
    if (audio)
        audio->then(QtFuture::Launch::Sync, onFinished);
    std::unique_lock guard(wake->lock);
    wake->changed.wait(guard, [&] {
        const bool allDone = video.isFinished() && (!audio || audio->isFinished());
        return allDone || (wake->finished > 0 && writer.status() != MovieWriter::Status::writing);
    });
}

} // namespace

std::optional<QString> start(MovieWriter& writer, const MediaTime& sessionStart)
{
    if (!writer.startWriting())
        return writer.error() ? writer.error()->description : QStringLiteral("startWriting refused");
    writer.startSession(sessionStart);
    return std::nullopt;
}

void run(const MovieWriter& writer, Labels labels, const VideoHalf& video, MovieWriterInput* audioInput, SampleSource* audioSource, ExportGate& gate,
    double gatePollSeconds)
{
    auto audioPump = SampleBufferPump::make(gate);
    audioPump->setGatePollInterval(gatePollSeconds);
    // The queues run their last items and join before the caller finishes the writer.
    DispatchQueue videoQueue(labels.video);
    DispatchQueue audioQueue(labels.audio);
    QFuture<void> videoDone = video(videoQueue);
    std::optional<QFuture<void>> audioDone;
    if (audioInput && audioSource)
        audioDone = audioPump->run(*audioInput, *audioSource, audioQueue);
    waitForHalves(videoDone, audioDone, writer);
}

} // namespace WriterRun
