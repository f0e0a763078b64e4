#include "FinishFixture.h"

#include "finishing/MixdownFinishingTools.h"
#include "support/ProcessThreads.h"
#include "support/QueueRender.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Finishing tools whose render leaves a named pipe as the final, read back by the studio's own tools: opening
// it for reading waits until its other end is opened, as a final on a stalled disk would keep a reader waiting.
class PipeFinalTools final : public FinishingTools {
public:
    QCoro::Task<FaceResult> faceMux(QString, QString, QString, FaceMux::Own) override { co_return FaceResult{}; }
    QCoro::Task<std::optional<TrimResult>> tailTrim(QString, double, std::shared_ptr<const HeldFile>) override { co_return std::nullopt; }
    void writeStopSidecar(const QString&, const QString&, double, std::optional<double>) override { }
    QCoro::Task<RenderResult> composePassthrough(QString, QString finalPath, Progress) override { co_return pipe(finalPath); }
    QCoro::Task<RenderResult> composeWithOverlays(std::shared_ptr<const Mixdown::Request>, QString finalPath, Progress) override { co_return pipe(finalPath); }
    QCoro::Task<FinishOutcome::MovieLengths> measureFinal(QString finalPath) override { return real_.measureFinal(std::move(finalPath)); }

private:
    static RenderResult pipe(const QString& path)
    {
        QFile::remove(path);
        if (mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            return RenderResult{ErrorInfo{QStringLiteral("Olvennar.Test"), errno, QStringLiteral("no pipe")}, 0};
        return {};
    }

    MixdownFinishingTools real_{OverlayRendererFactory{}};
};

// Opens the pipe's writing end without waiting: it opens only while a reader waits on the pipe, and closing it
// at once hands that reader an empty file.
bool answerWaitingReader(const QString& path)
{
    const int end = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
    if (end < 0)
        return false;
    ::close(end);
    return true;
}

// The names of this process's threads that wait for a pipe's other end; nothing when the kernel does not say.
QStringList waitingOnPipe()
{
    QStringList names;
    for (const ProcessThreads::Thread& thread : ProcessThreads::list()) {
        QFile wchan(QStringLiteral("/proc/self/task/%1/wchan").arg(thread.tid));
        if (wchan.open(QIODevice::ReadOnly) && wchan.readAll().trimmed() == "wait_for_partner")
            names << thread.name;
    }
    return names;
}

using FinalRead = FinishTest;
using Kind = FinishJob::State::Kind;

TEST_F(FinalRead, TheFinishedMovieIsReadOnARenderThreadWhileTheGuiThreadTurns)
{
    controller->finishQueue().setFinishingTools(std::make_shared<PipeFinalTools>());
    touch(QStringLiteral("raw.mov"));
    const QString final = take(QStringLiteral("final.mov"));
    std::atomic<bool> over{false};
    std::atomic<bool> rescued{false};
    // Were the final read on the GUI thread, nothing there could answer it: this thread does after a while, so
    // the test fails instead of hanging.
    std::thread watchdog([&] {
        const auto since = std::chrono::steady_clock::now();
        while (!over) {
            std::this_thread::sleep_for(20ms);
            if (std::chrono::steady_clock::now() - since > 3s && answerWaitingReader(final))
                rescued = true;
        }
    });

    Mixdown::Request request;
    request.rawURL = take(QStringLiteral("raw.mov"));
    queueRender(controller->finishQueue(), QStringLiteral("t"), request, final, take(QStringLiteral("stop.json")), QStringLiteral("t"));
    int answered = 0;
    QStringList readers;
    // A reader that was answered holds the pipe until it has read its empty file, which takes a while on a
    // busy machine: the pipe opens again meanwhile, so another opening counts only once the pipe stood
    // without a reader, or when a thread waits in its opening.
    bool readerGone = true;
    QElapsedTimer waited;
    waited.start();
    while (row(0).state.kind == Kind::working && waited.elapsed() < 10000) {
        QCoreApplication::processEvents();
        const QStringList waiting = waitingOnPipe();
        if (!answerWaitingReader(final)) {
            readerGone = true;
        } else if (readerGone || !waiting.isEmpty()) {
            ++answered;
            readers << waiting;
            readerGone = false;
        }
        std::this_thread::sleep_for(5ms);
    }
    over = true;
    // Nothing stays blocked on the pipe once the test ends.
    const int both = ::open(QFile::encodeName(final).constData(), O_RDWR | O_NONBLOCK);
    if (both >= 0)
        ::close(both);
    watchdog.join();

    EXPECT_FALSE(rescued) << "the GUI thread waited on the final";
    EXPECT_EQ(answered, 1) << "the final is opened once, while the GUI thread goes on";
    EXPECT_TRUE(readers.isEmpty() || readers == QStringList{QStringLiteral("render")}) << readers.join(u',').toStdString();
    EXPECT_EQ(row(0).state, (FinishJob::State{Kind::done, 0, final, {}})) << "a final that cannot be read makes no note";
}

} // namespace
