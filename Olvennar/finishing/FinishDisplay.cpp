#include "finishing/FinishDisplay.h"

#include "platform/system/Diagnostics.h"

#include <QFileInfo>

#include <utility>

FinishDisplay::FinishDisplay(Studio& studio, QObject* parent)
    : QObject(parent)
    , studio_(studio)
{
}

void FinishDisplay::showFinished(const QString& path, const QString& note)
{
    const RecordingPhase::Kind shown = studio_.phase().kind();
    if (shown != RecordingPhase::Kind::idle && shown != RecordingPhase::Kind::finished)
        return;
    studio_.setLastFinalURL(path);
    studio_.setPhase(RecordingPhase::finished(path));
    note_ = note;
    Q_EMIT changed();
}

void FinishDisplay::showFinishedTake(const QString& path, const QString& note)
{
    studio_.setPhase(RecordingPhase::finished(path));
    note_ = note;
    if (!note.isEmpty()) {
        Diagnostics::log(QFileInfo(path).fileName() + QStringLiteral(": ") + note);
        Q_EMIT changed();
    }
}

void FinishDisplay::showFinishFailed(const QUuid& id, const QString& message)
{
    const RecordingPhase& phase = studio_.phase();
    const RecordingPhase::Kind shown = phase.kind();
    // The same job's earlier failure, shown still after its row's Retry: the new sentence takes its place.
    const bool showsItsEarlierFailure = shown == RecordingPhase::Kind::failed && failed_ == id && phase.payload() == failedMessage_;
    // Kept while a take runs, so the next failure shown offers the Retry.
    failed_ = id;
    failedMessage_ = message;
    // A take's own failure (a full disk's sentence) stays above the render's.
    if (shown != RecordingPhase::Kind::idle && shown != RecordingPhase::Kind::finished && shown != RecordingPhase::Kind::failed)
        return;
    studio_.setPhase(RecordingPhase::failed(shown == RecordingPhase::Kind::failed && !showsItsEarlierFailure ? phase.payload() : message));
}

bool FinishDisplay::canRetry() const
{
    return studio_.phase().kind() == RecordingPhase::Kind::failed && failed_ && studio_.finishQueue().hasFinishRetry(*failed_);
}

QString FinishDisplay::failureText() const
{
    const QString& shown = studio_.phase().payload();
    if (!canRetry() || shown.contains(failedMessage_))
        return shown;
    return shown + QLatin1Char('\n') + failedMessage_;
}

void FinishDisplay::retry()
{
    if (!canRetry())
        return;
    const QUuid id = *std::exchange(failed_, std::nullopt);
    studio_.reset();
    studio_.finishQueue().retryFinishJob(id);
}
