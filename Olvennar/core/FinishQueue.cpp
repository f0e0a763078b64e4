#include "core/FinishQueue.h"

#include "platform/system/Diagnostics.h"
#include "compositing/FestrinCompositorRenderer.h"
#include "finishing/FinishingTools.h"
#include "finishing/FinishOutcome.h"
#include "finishing/MixdownFinishingTools.h"
#include "finishing/PendingRender.h"
#include "finishing/ProgressThrottle.h"
#include "finishing/SaveJob.h"
#include "finishing/TakePieces.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/MainThread.h"
#include "platform/system/Scheduler.h"
#include "finishing/SaveJobHandover.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <coroutine>

namespace {

// How often a waiting render looks again.
constexpr double breakLookSeconds = 2.0;

// Resumes the awaiting coroutine on the GUI thread after a delay on the scheduler's clock. The wake-up
// hangs on the application, so a job whose controller is gone still wakes and goes on.
class SchedulerSleep {
public:
    SchedulerSleep(Scheduler& scheduler, double seconds)
        : scheduler_(scheduler)
        , seconds_(seconds)
    {
    }
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        scheduler_.after(seconds_, QCoreApplication::instance(), [waiting] { waiting.resume(); });
    }
    void await_resume() const noexcept { }

private:
    Scheduler& scheduler_;
    double seconds_;
};

FinishJob::State working(double progress) { return {FinishJob::State::Kind::working, progress, {}, {}}; }
FinishJob::State done(const QString& path, const QString& note = {}) { return {FinishJob::State::Kind::done, 0, path, note}; }
FinishJob::State failed(const QString& message) { return {FinishJob::State::Kind::failed, 0, {}, message}; }

} // namespace

FinishQueue::FinishQueue(Studio& studio, Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , studio_(studio)
    , scheduler_(scheduler)
{
}

FinishQueue::~FinishQueue() = default;

void FinishQueue::setFinishJobs(std::vector<FinishJob> jobs)
{
    finishJobs_ = std::move(jobs);
    Q_EMIT changed();
}

int FinishQueue::finishingCount() const
{
    return static_cast<int>(std::count_if(finishJobs_.begin(), finishJobs_.end(),
        [](const FinishJob& job) { return job.state.kind == FinishJob::State::Kind::working; }));
}

void FinishQueue::listSaveJob(const QUuid& id, const QString& title)
{
    finishJobs_.push_back(FinishJob{id, title, FinishJob::State{}});
    Q_EMIT changed();
}

void FinishQueue::dismissFinishJob(const QUuid& id)
{
    finishRetries_.remove(id);
    std::erase_if(finishJobs_, [&id](const FinishJob& job) { return job.id == id; });
    Q_EMIT changed();
}

void FinishQueue::setFinishingTools(std::shared_ptr<FinishingTools> tools) { finishingTools_ = std::move(tools); }

std::shared_ptr<FinishingTools> FinishQueue::finishingTools()
{
    // The real face mux, trim and mixdown, drawing overlay exports through the studio compositor.
    if (!finishingTools_)
        finishingTools_ = std::make_shared<MixdownFinishingTools>(FestrinCompositorRenderer::factory());
    return finishingTools_;
}

void FinishQueue::setFinishState(const QUuid& id, const FinishJob::State& state)
{
    const auto row = std::find_if(finishJobs_.begin(), finishJobs_.end(), [&id](const FinishJob& job) { return job.id == id; });
    if (row == finishJobs_.end())
        return;
    row->state = state;
    Q_EMIT changed();
}

void FinishQueue::retryFinishJob(const QUuid& id)
{
    // Taken out before it runs: a second press finds nothing until the job fails again.
    const std::function<void()> retry = finishRetries_.take(id);
    if (retry)
        retry();
}

void FinishQueue::runSaveJob(const SaveJobHandover& job)
{
    setFinishState(job.id, working(0));
    saveTask(QPointer<FinishQueue>(this), finishingTools(), job);
}

QCoro::Task<> FinishQueue::saveTask(QPointer<FinishQueue> weak, std::shared_ptr<FinishingTools> tools, SaveJobHandover job)
{
    // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
    QCoro::Task<SaveJob::Outcome> saving = SaveJob::saveFiles(tools, job, [] { return QDateTime::currentDateTimeUtc(); });
    const SaveJob::Outcome outcome = co_await saving;
    if (outcome.failure) {
        Diagnostics::log(*outcome.failure, QStringLiteral("save take"));
        if (!weak)
            co_return;
        weak->setFinishState(job.id, failed(outcome.failure->description));
        weak->finishRetries_.insert(job.id, [weak, tools, job] {
            if (!weak)
                return;
            weak->setFinishState(job.id, working(0));
            saveTask(weak, tools, job);
        });
        co_return;
    }
    if (!weak)
        co_return;
    const QString doneURL = outcome.facePath.value_or(job.request.rawURL);
    const QString note = outcome.note.value_or(QString());
    weak->setFinishState(job.id, done(doneURL, note));
    Diagnostics::log(job.summary + QStringLiteral(" saved:raw+")
        + (outcome.facePath ? QFileInfo(*outcome.facePath).fileName() : QStringLiteral("no camera")));
    weak->studio_.showFinished(doneURL, note);
    if (!job.previewURL.isEmpty()) {
        // The face file carries the camera and the raw file's microphone; the tail is already cut.
        Mixdown::Request render = job.request;
        render.cameraURL = outcome.facePath;
        render.recordedSeconds = outcome.duration;
        // Noted beside the final until it is in place, so a crash before then is finished at the next launch.
        const PendingRender::Job pending{job.title + QStringLiteral(" video"), QStringLiteral("video ") + job.title, job.previewURL,
            job.stopSidecar, render, 0};
        PendingRender::write(pending);
        weak->startFinishJob(pending.title, pending.request, pending.finalURL, pending.stopSidecar, false, pending.summary);
    }
}

void FinishQueue::startFinishJob(const QString& title, const Mixdown::Request& request, const QString& finalURL,
    const QString& stopSidecar, bool byRemote, const QString& summary)
{
    const QUuid id = QUuid::createUuid();
    finishJobs_.push_back(FinishJob{id, title, working(0)});
    runFinishJob(id, request, finalURL, stopSidecar, byRemote, summary);
}

void FinishQueue::runFinishJob(const QUuid& id, const Mixdown::Request& request, const QString& finalURL,
    const QString& stopSidecar, bool byRemote, const QString& summary)
{
    setFinishState(id, working(0));
    // Each render awaits the one queued before it, so renders run one at a time in queue order.
    QCoro::Task<> previous = std::move(finishTail_);
    finishTail_ = renderTask(QPointer<FinishQueue>(this), std::move(previous), finishingTools(), id, request, finalURL,
        stopSidecar, byRemote, summary);
}

QCoro::Task<> FinishQueue::renderTask(QPointer<FinishQueue> weak, QCoro::Task<> previous,
    std::shared_ptr<FinishingTools> tools, QUuid id, Mixdown::Request request, QString finalURL, QString stopSidecar, bool byRemote,
    QString summary)
{
    // An empty task (the first job) counts as finished.
    if (!previous.isReady())
        co_await previous;
    if (weak) {
        QCoro::Task<> wait = waitForRecordingBreak(weak);
        co_await wait;
    }

    auto throttle = std::make_shared<ProgressThrottle>();
    FinishingTools::Progress progress = [throttle, weak, id](double fraction) {
        if (!throttle->pass(fraction))
            return;
        runOnMainThread([weak, id, fraction] {
            if (!weak)
                return;
            // A late hop never turns a finished or failed row back into a working one.
            const auto& rows = weak->finishJobs();
            const auto row = std::find_if(rows.begin(), rows.end(), [&id](const FinishJob& job) { return job.id == id; });
            if (row != rows.end() && row->state.kind == FinishJob::State::Kind::working)
                weak->setFinishState(id, working(fraction));
        });
    };
    QCoro::Task<FinishingTools::RenderResult> compose = request.isPassthrough() ? tools->composePassthrough(request.rawURL, finalURL, progress)
                                                                                : tools->composeWithOverlays(request, finalURL, progress);
    const FinishingTools::RenderResult rendered = co_await compose;
    const std::optional<ErrorInfo>& failure = rendered.failure;

    if (failure) {
        Diagnostics::log(*failure, QStringLiteral("finish"));
        if (!weak)
            co_return;
        weak->setFinishState(id, failed(failure->description));
        weak->finishRetries_.insert(id, [weak, id, request, finalURL, stopSidecar, byRemote, summary] {
            if (weak)
                weak->runFinishJob(id, request, finalURL, stopSidecar, byRemote, summary);
        });
        weak->studio_.showFinishFailed(id, failure->description);
        co_return;
    }
    // A final that holds less than the take, less sound than picture, or left damaged pictures out, says so in
    // the row and under the window.
    const QString rawName = QFileInfo(request.rawURL).fileName();
    const std::optional<double> finished = MovieAsset::durationSeconds(finalURL);
    const QString note = FinishOutcome::joined(finished ? FinishOutcome::shortNote(*finished, request.recordedSeconds, rawName) : std::nullopt,
        FinishOutcome::shortSoundNoteFor(finalURL, request.recordedSeconds, rawName), FinishOutcome::damagedNote(rendered.damagedPictures, rawName));
    TakePieces::moveTakePiecesToRaw(finalURL);
    PendingRender::remove(finalURL);
    if (!note.isEmpty())
        Diagnostics::log(QFileInfo(finalURL).fileName() + QStringLiteral(": ") + note);
    if (!weak)
        co_return;
    weak->setFinishState(id, done(finalURL, note));
    Diagnostics::log(summary);
    weak->studio_.showFinished(finalURL, note);
}

QCoro::Task<> FinishQueue::waitForRecordingBreak(QPointer<FinishQueue> weak)
{
    for (;;) {
        if (!weak)
            co_return;
        Studio& studio = weak->studio_;
        if (studio.filming()) {
            studio.setFinishWaitingForBreak(true);
        } else {
            const bool waiting = weak->scheduler_.now() - studio.lastTakeEndedSeconds() < breakSeconds;
            studio.setFinishWaitingForBreak(waiting);
            if (!waiting)
                co_return;
        }
        co_await SchedulerSleep(weak->scheduler_, breakLookSeconds);
    }
}
