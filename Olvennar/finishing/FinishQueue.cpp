#include "finishing/FinishQueue.h"

#include "compositing/FestrinCompositorRenderer.h"
#include "finishing/FinishingTools.h"
#include "finishing/MixdownFinishingTools.h"
#include "finishing/PendingNote.h"
#include "finishing/ProgressThrottle.h"
#include "platform/media/ExportGate.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/MainThread.h"
#include "platform/system/Scheduler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPromise>
#include <QScopeGuard>
#include <QSet>
#include <QStringList>

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

// Where a work's take folder is now. The folder is held open, so a rename or a move is followed (the work names
// its files where the folder lies now), and only a folder deleted or moved to another disk is gone.
enum class Whereabouts { there, followed, gone };

Whereabouts findFolder(FinishWork& work)
{
    const std::shared_ptr<const HeldFolder> folder = work.folder();
    if (!folder)
        return Whereabouts::there;
    const QString was = work.folderPath();
    const std::optional<QString> now = folder->now(was);
    if (!now)
        return Whereabouts::gone;
    if (QDir::cleanPath(*now) == QDir::cleanPath(was))
        return Whereabouts::there;
    Diagnostics::log(QStringLiteral("take folder moved: ") + was + QStringLiteral(" -> ") + *now + QStringLiteral("; ") + work.title()
        + QStringLiteral(" goes on there"));
    work.follow(*now);
    return Whereabouts::followed;
}

// What a work makes: its note's output, else its title.
QString madeName(const FinishWork& work)
{
    const std::optional<FinishWork::Note> note = work.noteHead();
    const QString output = note ? QFileInfo(note->content.value(QStringLiteral("output")).toString()).fileName() : QString();
    return output.isEmpty() ? work.title() : output;
}

// What a job whose take folder is gone says: a launch is promised only when the job's note went with the folder
// (`noted`: the relaunches it counts); a note counting one is offered again, not run.
FinishWork::Outcome goneOutcome(const FinishWork& work, std::optional<int> noted)
{
    const QString gone = madeName(work) + QStringLiteral(" was not made: its take's folder was deleted or moved to another disk");
    QString next;
    if (!noted)
        next = QStringLiteral(", and no note of its finishing is in it, so no launch finishes it; the recordings that went with the folder stay as they are.");
    else if (*noted > 0)
        next = QStringLiteral(". A launch that finds the folder where it went offers to render it again there.");
    else
        next = QStringLiteral(". A launch that finds the folder where it went finishes it there.");
    return {ErrorInfo{QStringLiteral("Olvennar.FinishQueue"), 2, gone + next}, {}, {}};
}

// The take a row finishes, as the quit alert counts takes: its folder's identity with the final's name while the
// folder is held (a folder renamed after the stop and the next take filmed in its name give two takes one final
// path), else the final's path; empty for work that is a take of its own.
QString takeKey(const FinishWork& work)
{
    const QString take = work.take();
    const std::shared_ptr<const HeldFolder> folder = work.folder();
    const std::optional<OpenFile::Identity> identity = folder && !take.isEmpty() ? folder->identity() : std::nullopt;
    if (!identity)
        return take;
    return QStringLiteral("%1:%2/").arg(identity->device).arg(identity->inode) + QFileInfo(take).fileName();
}

int relaunchesOf(const FinishWork::Note& note) { return note.content.value(QStringLiteral("relaunches")).toInt(); }

// The work's note, as the attempt writes it: a Retry's counts no relaunch however the job began.
std::optional<FinishWork::Note> attemptNote(const FinishWork& work, bool retry)
{
    std::optional<FinishWork::Note> note = work.note();
    if (note && retry)
        note->content.insert(QStringLiteral("relaunches"), 0);
    return note;
}

// The work's note is written in its own held folder wherever that lies, else at the path it names.
bool writeNote(const NoteFolders& notes, const FinishWork& work, const FinishWork::Note& note)
{
    const std::shared_ptr<const HeldFolder> folder = work.folder();
    return folder ? notes.write(note, *folder) : notes.write(note);
}

// The work's note goes: one in the work's own held folder is its own; without a held folder, only a note
// still the job's own (not another take's, noted under the name a renamed folder freed).
void removeNote(const NoteFolders& notes, FinishWork& work)
{
    const std::shared_ptr<const HeldFolder> folder = work.folder();
    if (folder && findFolder(work) == Whereabouts::gone)
        return;
    // Taken once the folder is followed: it names the note where the folder lies now. A held folder's note goes
    // by its name alone.
    const std::optional<FinishWork::Note> note = folder ? work.noteHead() : work.note();
    if (!note)
        return;
    if (folder)
        notes.remove(*note, *folder);
    else
        notes.removeOwn(*note);
}

FinishWork::Outcome givenUpOutcome()
{
    return {ErrorInfo {QStringLiteral("Olvennar.FinishQueue"), 1, QStringLiteral("The studio quit before this take was finished.")}, {}, {}};
}

} // namespace

// One run of a job on its row; the first one also answers the submitter.
struct FinishQueue::Attempt {
    std::shared_ptr<FinishWork> work;
    QUuid id;
    std::shared_ptr<QPromise<FinishWork::Outcome>> promise;
    // Taken when the attempt starts: a job whose queue is gone still finishes its files.
    std::shared_ptr<FinishingTools> tools;
    // The row's Retry: the user's own new run.
    bool retry = false;
    // The relaunches the job's note in its folder counts; nothing while no note of it is there. What a gone
    // folder's row may promise.
    std::optional<int> noted = std::nullopt;

    void answer(const FinishWork::Outcome& outcome)
    {
        if (!promise)
            return;
        promise->addResult(outcome);
        promise->finish();
        promise.reset();
    }
};

FinishQueue::FinishQueue(Studio& studio, Scheduler& scheduler, Settings& settings, QObject* parent)
    : QObject(parent)
    , studio_(studio)
    , scheduler_(scheduler)
    , noteFolders_(settings)
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
    QSet<QString> takes;
    for (const FinishJob& job : finishJobs_) {
        if (job.state.kind == FinishJob::State::Kind::working)
            takes.insert(rowTakes_.value(job.id, job.id.toString()));
    }
    return static_cast<int>(takes.size());
}

bool FinishQueue::runsUnnotedWork() const
{
    return std::any_of(unfinished_.cbegin(), unfinished_.cend(), [](const std::shared_ptr<FinishWork>& work) { return !work->noteHead(); });
}

QStringList FinishQueue::takesUnderWay(const QString& folder) const
{
    const QString wanted = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QStringList names;
    for (const std::shared_ptr<FinishWork>& work : std::as_const(unfinished_)) {
        const QString take = work->take();
        if (take.isEmpty())
            continue;
        // A held folder where it lies now: one renamed or moved away leaves its old name to the next take.
        const QString named = QFileInfo(take).absolutePath();
        const std::shared_ptr<const HeldFolder> held = work->folder();
        if (QDir::cleanPath(held ? held->now(named).value_or(QString()) : named) == wanted)
            names << QFileInfo(take).fileName();
    }
    return names;
}

void FinishQueue::dismissFinishJob(const QUuid& id)
{
    finishRetries_.remove(id);
    rowTakes_.remove(id);
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

QFuture<FinishWork::Outcome> FinishQueue::submit(std::shared_ptr<FinishWork> work, const QUuid& id)
{
    auto attempt = std::make_shared<Attempt>(Attempt{std::move(work), id, std::make_shared<QPromise<FinishWork::Outcome>>(), nullptr});
    attempt->promise->start();
    QFuture<FinishWork::Outcome> answer = attempt->promise->future();
    // The studio is quitting: nothing new is listed, noted or run.
    if (givenUp_) {
        attempt->answer(givenUpOutcome());
        return answer;
    }
    kept_.push_back(attempt->work);
    if (attempt->work->listed())
        listRow(*attempt->work, id, working(0));
    Q_EMIT changed();
    if (tap_ && tap_(attempt->work))
        return answer;
    start(std::move(attempt));
    return answer;
}

void FinishQueue::listRow(const FinishWork& work, const QUuid& id, const FinishJob::State& state)
{
    if (std::none_of(finishJobs_.begin(), finishJobs_.end(), [&id](const FinishJob& job) { return job.id == id; }))
        finishJobs_.push_back(FinishJob{id, work.title(), state});
    if (const QString take = takeKey(work); !take.isEmpty())
        rowTakes_.insert(id, take);
}

void FinishQueue::offerRetry(const QUuid& id, std::shared_ptr<FinishWork> work, std::optional<int> noted)
{
    finishRetries_.insert(id, [weak = QPointer<FinishQueue>(this), attempt = std::make_shared<Attempt>(Attempt{std::move(work), id, nullptr, nullptr, true, noted})] {
        if (weak)
            weak->start(attempt);
    });
    // The row's Retry shows once it is there.
    Q_EMIT changed();
}

void FinishQueue::listFailed(std::shared_ptr<FinishWork> work, const QString& reason)
{
    const QUuid id = QUuid::createUuid();
    kept_.push_back(work);
    listRow(*work, id, failed(reason));
    // Its note stays in its folder as the launch found it until the Retry writes it anew.
    const std::optional<FinishWork::Note> note = work->noteHead();
    offerRetry(id, std::move(work), note ? std::optional<int>(relaunchesOf(*note)) : std::nullopt);
    Q_EMIT changed();
}

void FinishQueue::restate(const FinishWork& work, const QString& was, const QString& now)
{
    const QString take = takeKey(work);
    bool restated = false;
    for (FinishJob& job : finishJobs_) {
        if (job.state.kind == FinishJob::State::Kind::done && job.state.message == was && rowTakes_.value(job.id) == take) {
            job.state.message = now;
            restated = true;
        }
    }
    if (restated)
        Q_EMIT changed();
}

void FinishQueue::letGoOfDeletedFiles()
{
    std::erase_if(kept_, [](const std::weak_ptr<FinishWork>& kept) { return kept.expired(); });
    for (const std::weak_ptr<FinishWork>& kept : kept_) {
        if (const std::shared_ptr<FinishWork> work = kept.lock())
            work->letGoOfDeleted();
    }
}

int FinishQueue::giveUp()
{
    givenUp_ = true;
    QStringList given;
    for (const FinishJob& job : finishJobs_) {
        if (job.state.kind != FinishJob::State::Kind::working)
            continue;
        const std::shared_ptr<FinishWork> work = unfinished_.value(job.id);
        const std::optional<FinishWork::Note> note = work ? work->noteHead() : std::nullopt;
        const QString output = note ? note->content.value(QStringLiteral("output")).toString() : QString();
        given << (output.isEmpty() ? job.title : job.title + QStringLiteral(" (") + output + QLatin1Char(')'));
    }
    // Only what the alert counted is given up; work without a row (a short's export inside its stop) stops
    // with the export gate and keeps its note, as after a crash.
    for (const std::shared_ptr<FinishWork>& work : std::as_const(unfinished_)) {
        if (work->listed())
            removeNote(noteFolders_, *work);
    }
    unfinished_.clear();
    if (!given.isEmpty())
        Diagnostics::log(QStringLiteral("quit: gave up finishing ") + given.join(QStringLiteral(", "))
            + QStringLiteral("; the raw files stay and the next launch does not finish them"));
    return static_cast<int>(given.size());
}

void FinishQueue::keepNotesForNextLaunch()
{
    if (givenUp_)
        return;
    // Only a note still the job's own is written again: one that finished on its own thread a moment ago took
    // its note away, and a take filmed since in the name a renamed folder freed has its own note there.
    // A job whose folder is held writes its note where the folder lies now, renamed or moved meanwhile.
    QStringList kept;
    for (const std::shared_ptr<FinishWork>& work : std::as_const(unfinished_)) {
        if (findFolder(*work) == Whereabouts::gone)
            continue;
        std::optional<FinishWork::Note> note = work->note();
        if (!note || (!work->folder() && PendingNote::holder(*note) != PendingNote::Holder::self))
            continue;
        note->content.insert(QStringLiteral("relaunches"), 0);
        const QString output = note->content.value(QStringLiteral("output")).toString();
        if (writeNote(noteFolders_, *work, *note))
            kept << (output.isEmpty() ? note->path : output);
    }
    if (!kept.isEmpty())
        Diagnostics::log(QStringLiteral("quit: the next launch finishes ") + kept.join(QStringLiteral(", ")));
}

void FinishQueue::start(std::shared_ptr<Attempt> attempt)
{
    if (givenUp_)
        return;
    // A job bound to a take folder is noted and run where the folder lies now; one whose folder is gone fails
    // at once, with no Retry that could not work.
    if (findFolder(*attempt->work) == Whereabouts::gone) {
        const FinishWork::Outcome gone = goneOutcome(*attempt->work, attempt->noted);
        Diagnostics::log(*gone.failure, attempt->work->failureContext());
        setFinishState(attempt->id, failed(gone.failure->description));
        // Shown as any failure is, in place of the job's failure a Retry meant to mend.
        attempt->work->failed(*this, attempt->id, *gone.failure);
        attempt->answer(gone);
        return;
    }
    // Noted before every run, a Retry's too, so a crash from here on is finished at the next launch. A Retry
    // counts no relaunch, however the job began: a crash during it is resumed again. A note the launch counted
    // for it that lies there as counted says so already.
    if (!attempt->retry && attempt->work->noteStands()) {
        attempt->noted = relaunchesOf(*attempt->work->noteHead());
    } else if (std::optional<FinishWork::Note> note = attemptNote(*attempt->work, attempt->retry)) {
        // The job's folder was renamed while it ran and another take now holds its name: running again there
        // would finish that take's movies with this one's plan. Its own note went with the folder.
        if (attempt->retry && !attempt->work->folder() && PendingNote::holder(*note) == PendingNote::Holder::another) {
            setFinishState(attempt->id, failed(QFileInfo(note->content.value(QStringLiteral("output")).toString()).fileName()
                + QStringLiteral(" was not made again: its take's folder was renamed, and another take now holds its old name. ")
                + QStringLiteral("The next launch finishes it where its folder now is.")));
            return;
        }
        if (writeNote(noteFolders_, *attempt->work, *note))
            attempt->noted = relaunchesOf(*note);
    }
    unfinished_.insert(attempt->id, attempt->work);
    setFinishState(attempt->id, working(0));
    attempt->tools = finishingTools();
    if (!attempt->work->waitsForBreak()) {
        runAttempt(QPointer<FinishQueue>(this), QCoro::Task<>(), std::move(attempt));
        return;
    }
    // Each render awaits the one queued before it, so renders run one at a time in queue order.
    QCoro::Task<> previous = std::move(finishTail_);
    finishTail_ = runAttempt(QPointer<FinishQueue>(this), std::move(previous), std::move(attempt));
}

QCoro::Task<> FinishQueue::runAttempt(QPointer<FinishQueue> weak, QCoro::Task<> previous, std::shared_ptr<Attempt> attempt)
{
    // The frame lives on in the queue's tail and in the next render's wait: what the job holds (its plan, its
    // held folder) goes when the attempt ends, unless a failed row's Retry keeps the work.
    const auto release = qScopeGuard([&attempt, &previous] {
        attempt.reset();
        previous = QCoro::Task<>();
    });
    FinishWork& work = *attempt->work;
    const QUuid id = attempt->id;
    // Taken now: a job whose queue is gone still removes its note.
    const NoteFolders notes = weak->noteFolders_;
    if (work.waitsForBreak()) {
        // An empty task (the first job) counts as finished.
        if (!previous.isReady())
            co_await previous;
        previous = QCoro::Task<>();
        if (weak) {
            QCoro::Task<> wait = waitForRecordingBreak(weak);
            co_await wait;
        }
    }
    // Given up while it waited: it never starts.
    if (weak && weak->givenUp_) {
        attempt->answer(givenUpOutcome());
        co_return;
    }
    // Looked at again now that it runs: its folder may have been renamed or moved while it waited. Its note
    // moved with the folder, and is written again naming the files where they lie now.
    const Whereabouts whereabouts = findFolder(work);
    if (whereabouts == Whereabouts::followed) {
        if (const std::optional<FinishWork::Note> note = attemptNote(work, attempt->retry); note && writeNote(notes, work, *note))
            attempt->noted = relaunchesOf(*note);
    }
    auto throttle = std::make_shared<ProgressThrottle>();
    FinishWork::Run run{attempt->tools, [throttle, weak, id](double fraction) {
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
    }};
    FinishWork::Outcome outcome;
    if (whereabouts == Whereabouts::gone) {
        outcome = goneOutcome(work, attempt->noted);
    } else {
        // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
        QCoro::Task<FinishWork::Outcome> running = work.run(std::move(run));
        outcome = co_await running;
    }
    // A folder deleted or moved to another disk keeps whatever note went with it, and a Retry could not work.
    const bool folderGone = findFolder(work) == Whereabouts::gone;
    if (outcome.failure && folderGone)
        outcome = goneOutcome(work, attempt->noted);

    // Given up while it ran: its row, note and log line are settled already.
    if (weak && weak->givenUp_) {
        attempt->answer(outcome);
        co_return;
    }
    if (weak)
        weak->unfinished_.remove(id);
    if (outcome.failure) {
        Diagnostics::log(*outcome.failure, work.failureContext());
        // A job that failed was not cut short: the next launch must not run it again. An export stopped
        // because the studio ends is, and keeps its note.
        if (!ExportGate::shared().isAbandoned() && !folderGone)
            removeNote(notes, work);
        if (weak) {
            weak->setFinishState(id, failed(outcome.failure->description));
            // An unlisted job's failure is its take's: the take shows it, with no row to retry from.
            // Its note went with the failure: the Retry writes it anew.
            if (work.listed() && !folderGone && work.retryable())
                weak->offerRetry(id, attempt->work, std::nullopt);
            work.failed(*weak, id, *outcome.failure);
        }
        attempt->answer(outcome);
        co_return;
    }
    removeNote(notes, work);
    if (weak) {
        weak->setFinishState(id, done(outcome.path, outcome.note));
        work.succeeded(*weak, outcome);
    }
    attempt->answer(outcome);
}

QCoro::Task<> FinishQueue::waitForRecordingBreak(QPointer<FinishQueue> weak)
{
    for (;;) {
        if (!weak)
            co_return;
        // A take deleted while this waits, the next take filming meanwhile, has its space back by the next look.
        weak->letGoOfDeletedFiles();
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
