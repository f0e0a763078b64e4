// The handoff watcher: every 2 s both handoff files are read off the main thread, the arbiter picks one,
// and the winner is applied once while the studio is free. Tokens of applied, superseded and declined
// handoffs live in the settings, so a handoff never applies twice, also across launches.
#include "core/RecordingController.h"

#include "core/ProjectFolder.h"
#include "core/SaveLocation.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Settings.h"
#include "platform/system/WorkerPool.h"
#include "takedata/HandoffFile.h"
#include "takes/HandoffArbiter.h"
#include "takes/HandoffPrompter.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <qcorofuture.h>

namespace {

TeleprompterScript::Style prompterStyle(NextRecording::Style style)
{
    switch (style) {
    case NextRecording::Style::script: return TeleprompterScript::Style::script;
    case NextRecording::Style::cues: return TeleprompterScript::Style::cues;
    case NextRecording::Style::mixed: return TeleprompterScript::Style::mixed;
    }
    return TeleprompterScript::Style::script;
}

QString styleText(NextRecording::Style style) { return TeleprompterScript::rawText(prompterStyle(style)); }

} // namespace

void RecordingController::watchNextTake(bool watch)
{
    if (!watch)
        return;
    refreshNextTake();
    if (nextTakeWatch_)
        return;
    nextTakeWatch_ = new QTimer(this);
    nextTakeWatch_->setTimerType(Qt::PreciseTimer);
    nextTakeWatch_->setInterval(2000);
    QPointer<RecordingController> weak(this);
    connect(nextTakeWatch_, &QTimer::timeout, this, [weak] {
        if (weak)
            weak->refreshNextTake();
    });
    nextTakeWatch_->start();
}

void RecordingController::refreshNextTake()
{
    ++handoffRefreshCount_;
    // A disk that takes longer than a poll gets no second reader queued behind the first.
    if (handoffPollReading_)
        return;
    pollHandoffs();
}

QCoro::Task<> RecordingController::pollHandoffs()
{
    handoffPollReading_ = true;
    const QString root = SaveLocation::current(platform_.settings);
    HandoffReader::Request request{QDir(QDir(root).filePath(QStringLiteral("Shorts"))).filePath(QStringLiteral(".next_take.json")),
        QDir(root).filePath(QStringLiteral(".next_recording.json")), QDateTime::currentDateTimeUtc(), ProjectFolder::handoffPlaces(platform_.settings)};
    QPointer<RecordingController> weak(this);
    QFuture<HandoffReader::Reading> reading = WorkerPool::handoffs().run([request] { return HandoffReader::read(request); });
    co_await reading;
    if (!weak)
        co_return;
    HandoffReader::Reading result = reading.result();
    const auto take = acceptNextTake(std::move(result.take), result.takeComplaint);
    const auto recording = acceptNextRecording(std::move(result.recording), result.recordingComplaint);
    if (const auto winner = decideHandoffs(take, recording)) {
        co_await applyNextRecording(*winner);
        if (!weak)
            co_return;
    }
    handoffPollReading_ = false;
    ++handoffPollsCompleted_;
}

std::optional<NextTake> RecordingController::loadNextTake()
{
    const QString path = QDir(QDir(SaveLocation::current(platform_.settings)).filePath(QStringLiteral("Shorts"))).filePath(QStringLiteral(".next_take.json"));
    QString complaint;
    auto take = HandoffReader::readTake(path, QDateTime::currentDateTimeUtc(), ProjectFolder::handoffPlaces(platform_.settings), &complaint);
    return acceptNextTake(std::move(take), complaint);
}

std::optional<NextRecording> RecordingController::loadNextRecording()
{
    const QString path = QDir(SaveLocation::current(platform_.settings)).filePath(QStringLiteral(".next_recording.json"));
    QString complaint;
    auto record = HandoffReader::readRecording(path, QDateTime::currentDateTimeUtc(), ProjectFolder::handoffPlaces(platform_.settings), &complaint);
    return acceptNextRecording(std::move(record), complaint);
}

std::optional<NextTake> RecordingController::acceptNextTake(std::optional<NextTake> take, const QString& complaint)
{
    // The poll runs every 2 s; say why a file is ignored once, not on every poll.
    if (!complaint.isEmpty() && complaint != lastTakeComplaint_)
        Diagnostics::log(complaint);
    lastTakeComplaint_ = complaint;
    if (take && handoff_.ignoredNextTake == take->token())
        take.reset();
    if (take != nextTake_)
        setNextTake(take);
    return take;
}

std::optional<NextRecording> RecordingController::acceptNextRecording(std::optional<NextRecording> record, const QString& complaint)
{
    if (!complaint.isEmpty() && complaint != lastHandoffComplaint_)
        Diagnostics::log(complaint);
    lastHandoffComplaint_ = complaint;
    if (record && handoff_.ignoredNextRecording == record->token())
        record.reset();
    if (record != nextRecording_)
        setNextRecording(record);
    return record;
}

std::optional<NextRecording> RecordingController::decideHandoffs(const std::optional<NextTake>& take, const std::optional<NextRecording>& recording)
{
    // A start awaiting access, warm-up or its countdown counts as busy: its mode and folder are fixed.
    const bool busy = takeUnderWay();
    const HandoffArbiter::Decision decision = HandoffArbiter::decide(take, handoff_.handledNextTake, recording, handoff_.handledNextRecording);
    switch (decision.choice) {
    case HandoffArbiter::Decision::Choice::none: return std::nullopt;
    case HandoffArbiter::Decision::Choice::take:
        // Taken up at a later poll once the studio is free.
        if (busy || handoff_.handledNextTake == take->token())
            return std::nullopt;
        markHandoffHandled(take);
        if (const TakeKind* shorts = kinds_.with(&TakeTraits::filmsShort); shorts && captureMode_ != shorts->mode) {
            Diagnostics::log(QStringLiteral("short: auto-switched ") + CaptureModes::rawText(captureMode_) + QStringLiteral(" → Short for handoff ")
                + take->scriptID + QStringLiteral(" (") + take->writtenAtText + QLatin1Char(')'));
            setCaptureMode(shorts->mode);
        }
        if (decision.recordingSuperseded)
            markRecordingHandled(recording);
        return std::nullopt;
    case HandoffArbiter::Decision::Choice::recording:
        if (busy)
            return std::nullopt;
        markRecordingHandled(recording);
        if (decision.takeSuperseded)
            markHandoffHandled(take);
        return recording;
    }
    return std::nullopt;
}

void RecordingController::markHandoffHandled(const std::optional<NextTake>& take)
{
    if (!take)
        return;
    handoff_.handledNextTake = take->token();
    platform_.settings.setString(Keys::shortAutoSwitchedHandoff(), *handoff_.handledNextTake);
}

void RecordingController::markRecordingHandled(const std::optional<NextRecording>& record)
{
    if (!record)
        return;
    handoff_.handledNextRecording = record->token();
    platform_.settings.setString(Keys::longformHandledNextRecording(), *handoff_.handledNextRecording);
}

QCoro::Task<> RecordingController::applyNextRecording(NextRecording record)
{
    Diagnostics::log(QStringLiteral("longform: handoff \"") + record.title + QStringLiteral("\" → ") + QFileInfo(record.videoFolder).fileName()
        + QStringLiteral(", mode ") + record.mode + QStringLiteral(", style ") + styleText(record.style) + QStringLiteral(", channel ")
        + RecordingChannels::rawText(record.channel) + QStringLiteral(" (") + record.writtenAtText + QLatin1Char(')'));
    if (const auto mode = record.captureMode(); mode && *mode != captureMode_) {
        Diagnostics::log(QStringLiteral("longform: auto-switched ") + CaptureModes::rawText(captureMode_) + QStringLiteral(" → ") + CaptureModes::rawText(*mode));
        setCaptureMode(*mode);
    }
    // The folder is made and the script read off the main thread.
    QPointer<RecordingController> weak(this);
    const HandoffPlaces places = ProjectFolder::handoffPlaces(platform_.settings);
    QFuture<HandoffReader::Preparation> preparing = WorkerPool::handoffs().run([record, places] { return HandoffReader::prepare(record, places); });
    co_await preparing;
    if (!weak)
        co_return;
    const HandoffReader::Preparation preparation = preparing.result();
    if (takeUnderWay()) {
        // A take started while the folder was made: its folder and script stay; this waits until it ends.
        Diagnostics::log(QStringLiteral("longform: a take is under way; the handoff applies when the studio is idle"));
        heldHandoff_ = HeldHandoff{std::move(record), preparation};
        co_return;
    }
    applyPreparedHandoff(record, preparation);
}

void RecordingController::applyPreparedHandoff(const NextRecording& record, const HandoffReader::Preparation& preparation)
{
    if (preparation.folderError) {
        Diagnostics::log(*preparation.folderError, QStringLiteral("longform: create ") + record.videoFolder);
    } else {
        const QStringList listed = ProjectFolder::existingProjects(platform_.settings, record.channel);
        const auto match = std::find_if(listed.begin(), listed.end(),
            [&record](const QString& folder) { return HandoffPlaces::realPath(QDir::cleanPath(folder)) == record.videoFolder; });
        setDestinationFolder(match != listed.end() ? *match : record.videoFolder);
    }
    applyScript(record, preparation);
}

void RecordingController::applyScript(const NextRecording& record, const HandoffReader::Preparation& preparation)
{
    HandoffPrompter* prompter = platform_.prompter;
    if (preparation.scriptPath.isEmpty()) {
        // A free or natural card: clear only text an earlier handoff put there, never the user's own.
        if (prompter && longformLoadedText_ && prompter->text() == *longformLoadedText_) {
            prompter->setText(QString());
            prompter->setStyle(TeleprompterScript::Style::script);
        }
        longformLoadedText_.reset();
        if (prompter && prompter->isPanelOpen()) {
            prompter->hide();
            setTeleprompterVisible(false);
            Diagnostics::log(QStringLiteral("longform: teleprompter closed, free/natural card (") + record.videoType + QLatin1Char('/') + record.variant + QLatin1Char(')'));
        }
        return;
    }
    if (!preparation.scriptText) {
        Diagnostics::log(QStringLiteral("longform: teleprompter file not readable: ") + HandoffFile::printable(preparation.scriptPath));
        return;
    }
    const QString& text = *preparation.scriptText;
    if (prompter) {
        prompter->setStyle(prompterStyle(record.style));
        prompter->setText(text);
        prompter->restart();
    }
    longformLoadedText_ = text;
    if (!record.opensFollowPrompter() || text.trimmed().isEmpty() || !prompter)
        return;
    prompter->setFollowMode();
    if (!prompter->isPanelOpen()) {
        if (const auto screen = selectedScreen())
            setTeleprompterVisible(prompter->show(screen->display.frame));
    }
    prompter->syncSpeech();
    Diagnostics::log(QStringLiteral("longform: teleprompter opened in follow mode (") + record.videoType + QLatin1Char('/') + record.variant + QLatin1Char(')'));
}

void RecordingController::studioMayBeIdle()
{
    if (!heldHandoff_ || takeUnderWay())
        return;
    // Never inside the phase change that ended the take: on a later turn, if the studio is still idle.
    QPointer<RecordingController> weak(this);
    QTimer::singleShot(0, this, [weak] {
        if (!weak || !weak->heldHandoff_ || weak->takeUnderWay())
            return;
        const HeldHandoff held = *std::exchange(weak->heldHandoff_, std::nullopt);
        Diagnostics::log(QStringLiteral("longform: the studio is idle, applying the held handoff \"") + held.record.title + QLatin1Char('"'));
        weak->applyPreparedHandoff(held.record, held.preparation);
    });
}

std::optional<NextTake> RecordingController::channelNextTake() const
{
    return nextTake_ && nextTake_->channel == destination_.channel ? nextTake_ : std::nullopt;
}

std::optional<NextTake> RecordingController::shortHeaderScript() const { return phase_.isBusy() ? shortTakeScript_ : channelNextTake(); }

void RecordingController::ignoreNextTake()
{
    if (!nextTake_)
        return;
    handoff_.ignoredNextTake = nextTake_->token();
    platform_.settings.setString(Keys::shortIgnoredNextTake(), *handoff_.ignoredNextTake);
    Diagnostics::log(QStringLiteral("short: ignoring handoff ") + *handoff_.ignoredNextTake);
    setNextTake(std::nullopt);
}

void RecordingController::setNextTake(const std::optional<NextTake>& take) { publish(nextTake_, take); }
void RecordingController::setNextRecording(const std::optional<NextRecording>& record) { publish(nextRecording_, record); }
