#include "core/HandoffWatch.h"

#include "core/ProjectFolder.h"
#include "core/RecordingControllerKeys.h"
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

#include <algorithm>

#include <qcorofuture.h>

namespace {

using Keys = RecordingControllerKeys;

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

// The poll runs every 2 s: a reason to ignore a file is logged when it changes, not on every poll. A record
// the user declined stays away until its file is rewritten.
template <typename Record>
std::optional<Record> accepted(std::optional<Record> record, const QString& complaint, QString& lastComplaint, const std::optional<QString>& declined)
{
    if (!complaint.isEmpty() && complaint != lastComplaint)
        Diagnostics::log(complaint);
    lastComplaint = complaint;
    if (record && declined == record->token())
        record.reset();
    return record;
}

} // namespace

HandoffWatch::HandoffWatch(Studio& studio, Settings& settings, HandoffPrompter* prompter, std::optional<CaptureMode> shortMode, QObject* parent)
    : QObject(parent)
    , studio_(studio)
    , settings_(settings)
    , prompter_(prompter)
    , shortMode_(shortMode)
{
    marks_.ignoredNextTake = settings_.stringValue(Keys::shortIgnoredNextTake());
    marks_.handledNextTake = settings_.stringValue(Keys::shortAutoSwitchedHandoff());
    marks_.ignoredNextRecording = settings_.stringValue(Keys::longformIgnoredNextRecording());
    marks_.handledNextRecording = settings_.stringValue(Keys::longformHandledNextRecording());
}

HandoffWatch::~HandoffWatch() = default;

QString HandoffWatch::takePath() const
{
    return QDir(QDir(SaveLocation::current(settings_)).filePath(QStringLiteral("Shorts"))).filePath(QStringLiteral(".next_take.json"));
}

QString HandoffWatch::recordingPath() const { return QDir(SaveLocation::current(settings_)).filePath(QStringLiteral(".next_recording.json")); }

void HandoffWatch::watchNextTake(bool watch)
{
    if (!watch)
        return;
    refreshNextTake();
    if (timer_)
        return;
    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(2000);
    connect(timer_, &QTimer::timeout, this, &HandoffWatch::refreshNextTake);
    timer_->start();
}

void HandoffWatch::refreshNextTake()
{
    ++handoffRefreshCount_;
    // A disk that takes longer than a poll gets no second reader queued behind the first.
    if (pollReading_)
        return;
    pollHandoffs();
}

QCoro::Task<> HandoffWatch::pollHandoffs()
{
    pollReading_ = true;
    const HandoffReader::Request request{takePath(), recordingPath(), QDateTime::currentDateTimeUtc(), ProjectFolder::handoffPlaces(settings_)};
    QPointer<HandoffWatch> weak(this);
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
    pollReading_ = false;
    ++handoffPollsCompleted_;
}

std::optional<NextTake> HandoffWatch::loadNextTake()
{
    QString complaint;
    auto take = HandoffReader::readTake(takePath(), QDateTime::currentDateTimeUtc(), ProjectFolder::handoffPlaces(settings_), &complaint);
    return acceptNextTake(std::move(take), complaint);
}

std::optional<NextRecording> HandoffWatch::loadNextRecording()
{
    QString complaint;
    auto record = HandoffReader::readRecording(recordingPath(), QDateTime::currentDateTimeUtc(), ProjectFolder::handoffPlaces(settings_), &complaint);
    return acceptNextRecording(std::move(record), complaint);
}

std::optional<NextTake> HandoffWatch::acceptNextTake(std::optional<NextTake> take, const QString& complaint)
{
    take = accepted(std::move(take), complaint, lastTakeComplaint_, marks_.ignoredNextTake);
    if (take != nextTake_)
        setNextTake(take);
    return take;
}

std::optional<NextRecording> HandoffWatch::acceptNextRecording(std::optional<NextRecording> record, const QString& complaint)
{
    record = accepted(std::move(record), complaint, lastRecordingComplaint_, marks_.ignoredNextRecording);
    if (record != nextRecording_)
        setNextRecording(record);
    return record;
}

std::optional<NextRecording> HandoffWatch::decideHandoffs(const std::optional<NextTake>& take, const std::optional<NextRecording>& recording)
{
    // A start awaiting access, warm-up or its countdown counts as busy: its mode and folder are fixed.
    const bool busy = studio_.takeUnderWay();
    const HandoffArbiter::Decision decision = HandoffArbiter::decide(take, marks_.handledNextTake, recording, marks_.handledNextRecording);
    switch (decision.choice) {
    case HandoffArbiter::Decision::Choice::none: return std::nullopt;
    case HandoffArbiter::Decision::Choice::take:
        // Taken up at a later poll once the studio is free.
        if (busy || marks_.handledNextTake == take->token())
            return std::nullopt;
        markHandoffHandled(take);
        if (const CaptureMode mode = studio_.captureMode(); shortMode_ && mode != *shortMode_) {
            Diagnostics::log(QStringLiteral("short: auto-switched ") + CaptureModes::rawText(mode) + QStringLiteral(" → Short for handoff ")
                + take->scriptID + QStringLiteral(" (") + take->writtenAtText + QLatin1Char(')'));
            studio_.setCaptureMode(*shortMode_);
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

void HandoffWatch::markHandoffHandled(const std::optional<NextTake>& take)
{
    if (!take)
        return;
    marks_.handledNextTake = take->token();
    settings_.setString(Keys::shortAutoSwitchedHandoff(), *marks_.handledNextTake);
}

void HandoffWatch::markRecordingHandled(const std::optional<NextRecording>& record)
{
    if (!record)
        return;
    marks_.handledNextRecording = record->token();
    settings_.setString(Keys::longformHandledNextRecording(), *marks_.handledNextRecording);
}

QCoro::Task<> HandoffWatch::applyNextRecording(NextRecording record)
{
    Diagnostics::log(QStringLiteral("longform: handoff \"") + record.title + QStringLiteral("\" → ") + QFileInfo(record.videoFolder).fileName()
        + QStringLiteral(", mode ") + record.mode + QStringLiteral(", style ") + styleText(record.style) + QStringLiteral(", channel ")
        + RecordingChannels::rawText(record.channel) + QStringLiteral(" (") + record.writtenAtText + QLatin1Char(')'));
    if (const auto mode = record.captureMode(); mode && *mode != studio_.captureMode()) {
        Diagnostics::log(QStringLiteral("longform: auto-switched ") + CaptureModes::rawText(studio_.captureMode()) + QStringLiteral(" → ") + CaptureModes::rawText(*mode));
        studio_.setCaptureMode(*mode);
    }
    // The folder is made and the script read off the main thread.
    QPointer<HandoffWatch> weak(this);
    const HandoffPlaces places = ProjectFolder::handoffPlaces(settings_);
    QFuture<HandoffReader::Preparation> preparing = WorkerPool::handoffs().run([record, places] { return HandoffReader::prepare(record, places); });
    co_await preparing;
    if (!weak)
        co_return;
    const HandoffReader::Preparation preparation = preparing.result();
    if (studio_.takeUnderWay()) {
        // A take started while the folder was made: its folder and script stay; this waits until it ends.
        Diagnostics::log(QStringLiteral("longform: a take is under way; the handoff applies when the studio is idle"));
        held_ = Held{std::move(record), preparation};
        co_return;
    }
    applyPreparedHandoff(record, preparation);
}

void HandoffWatch::applyPreparedHandoff(const NextRecording& record, const HandoffReader::Preparation& preparation)
{
    if (preparation.folderError) {
        Diagnostics::log(*preparation.folderError, QStringLiteral("longform: create ") + record.videoFolder);
    } else {
        const QStringList listed = ProjectFolder::existingProjects(settings_, record.channel);
        const auto match = std::find_if(listed.begin(), listed.end(),
            [&record](const QString& folder) { return HandoffPlaces::realPath(QDir::cleanPath(folder)) == record.videoFolder; });
        studio_.setDestinationFolder(match != listed.end() ? *match : record.videoFolder);
    }
    applyScript(record, preparation);
}

void HandoffWatch::applyScript(const NextRecording& record, const HandoffReader::Preparation& preparation)
{
    HandoffPrompter* prompter = prompter_;
    if (preparation.scriptPath.isEmpty()) {
        // A free or natural card: clear only text an earlier handoff put there, never the user's own.
        if (prompter && longformLoadedText_ && prompter->text() == *longformLoadedText_) {
            prompter->setText(QString());
            prompter->setStyle(TeleprompterScript::Style::script);
        }
        longformLoadedText_.reset();
        if (prompter && prompter->isPanelOpen()) {
            prompter->hide();
            studio_.setTeleprompterVisible(false);
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
        if (const auto screen = studio_.prompterScreen())
            studio_.setTeleprompterVisible(prompter->show(*screen));
    }
    prompter->syncSpeech();
    Diagnostics::log(QStringLiteral("longform: teleprompter opened in follow mode (") + record.videoType + QLatin1Char('/') + record.variant + QLatin1Char(')'));
}

void HandoffWatch::studioMayBeIdle()
{
    if (!held_ || studio_.takeUnderWay())
        return;
    // Never inside the phase change that ended the take: on a later turn, if the studio is still idle.
    QTimer::singleShot(0, this, [this] {
        if (!held_ || studio_.takeUnderWay())
            return;
        const Held held = *std::exchange(held_, std::nullopt);
        Diagnostics::log(QStringLiteral("longform: the studio is idle, applying the held handoff \"") + held.record.title + QLatin1Char('"'));
        applyPreparedHandoff(held.record, held.preparation);
    });
}

std::optional<NextTake> HandoffWatch::channelNextTake() const
{
    return nextTake_ && nextTake_->channel == studio_.channel() ? nextTake_ : std::nullopt;
}

std::optional<NextTake> HandoffWatch::shortHeaderScript() const { return studio_.busy() ? shortTakeScript_ : channelNextTake(); }

void HandoffWatch::holdStartScript()
{
    loadNextTake();
    startScript_ = channelNextTake();
}

std::optional<NextTake> HandoffWatch::fixTakeScript(bool fromStart)
{
    loadNextTake();
    shortTakeScript_ = fromStart ? startScript_ : channelNextTake();
    return shortTakeScript_;
}

void HandoffWatch::ignoreNextTake()
{
    if (!nextTake_)
        return;
    marks_.ignoredNextTake = nextTake_->token();
    settings_.setString(Keys::shortIgnoredNextTake(), *marks_.ignoredNextTake);
    Diagnostics::log(QStringLiteral("short: ignoring handoff ") + nextTake_->scriptID + QStringLiteral(" (") + nextTake_->writtenAtText
                     + QLatin1Char(')'));
    setNextTake(std::nullopt);
}

void HandoffWatch::setNextTake(const std::optional<NextTake>& take)
{
    nextTake_ = take;
    Q_EMIT changed();
}

void HandoffWatch::setNextRecording(const std::optional<NextRecording>& record)
{
    nextRecording_ = record;
    Q_EMIT changed();
}
