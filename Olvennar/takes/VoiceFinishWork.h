#pragma once

#include "finishing/FinishWork.h"
#include "takes/VoiceSidecar.h"

// The finish of a voice take: a remote stop's tail cut off the sound file, its length measured and the
// voice sidecar written. The take's stop awaits it: no row, no Retry and no resume note, since the sound file
// is the take's final as soon as the recorder closes it.
class VoiceFinishWork final : public FinishWork {
public:
    struct Job {
        QString title;
        QString sidecar;
        // `byRemote` asks for the cut; `tailTrimmedSeconds` is what it took once made.
        VoiceSidecar::Facts facts;
    };

    explicit VoiceFinishWork(Job job) : job_(std::move(job)) {}

    // The sound file's length after the cut, as the sidecar gives it.
    std::optional<double> durationSeconds() const { return job_.facts.durationSeconds; }

    QString title() const override { return job_.title; }
    bool listed() const override { return false; }
    QString failureContext() const override { return QStringLiteral("voice stop"); }
    QCoro::Task<Outcome> run(Run run) override;

private:
    Job job_;
};
