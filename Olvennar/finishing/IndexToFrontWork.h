#pragma once

#include "finishing/FinishWork.h"

// The finish of a "Just me" take: the fragmented capture movie rewritten with its index at the front, so
// every editor opens it like any finished movie, then a stop by the remote loses its last 1.5 s and says so
// in the stop record. Resumed after a crash from its note; a trim already recorded is not cut again.
class IndexToFrontWork final : public FinishWork {
public:
    struct Job {
        QString title;
        QString movie;
        QString stopSidecar;
        bool byRemote = false;
        int relaunches = 0;
    };

    // The note's kind.
    static QString kind() { return QStringLiteral("index-to-front"); }

    explicit IndexToFrontWork(Job job) : job_(std::move(job)) {}
    // Nothing when the note is not one of these.
    static std::optional<Job> fromNote(const QJsonObject& note);

    // Rewrites a capture movie with its index at the front (a hidden sibling renamed over it); false leaves
    // the fragmented file as it was. Blocking.
    static bool moveIndexToFront(const QString& path);

    QString title() const override { return job_.title; }
    std::optional<Note> note() const override;
    QString failureContext() const override { return QStringLiteral("camera-only stop"); }
    QCoro::Task<Outcome> run(Run run) override;

private:
    Job job_;
};
