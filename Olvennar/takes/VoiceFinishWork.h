#pragma once

#include "finishing/FinishWork.h"
#include "takes/VoiceSidecar.h"

// The finish of a voice take: a remote stop's tail cut off the sound file, its length measured and the
// voice sidecar written. Resumed after a crash from its note; a cut already made is noted and not made twice.
class VoiceFinishWork final : public FinishWork {
public:
    struct Job {
        QString title;
        QString sidecar;
        // `byRemote` asks for the cut; `tailTrimmedSeconds` is what it took once made.
        VoiceSidecar::Facts facts;
        bool trimmed = false;
        int relaunches = 0;
    };

    // The note's kind.
    static QString kind() { return QStringLiteral("voice"); }

    explicit VoiceFinishWork(Job job) : job_(std::move(job)) {}
    static std::optional<Job> fromNote(const QJsonObject& note);

    // The sound file's length after the cut, as the sidecar gives it.
    std::optional<double> durationSeconds() const { return job_.facts.durationSeconds; }

    QString title() const override { return job_.title; }
    std::optional<Note> note() const override;
    QString failureContext() const override { return QStringLiteral("voice stop"); }
    QCoro::Task<Outcome> run(Run run) override;

private:
    Job job_;
};
