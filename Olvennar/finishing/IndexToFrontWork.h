#pragma once

#include "finishing/FinishWork.h"

// The finish of a "Just me" take: the fragmented capture movie rewritten with its index at the front, so
// every editor opens it like any finished movie, then a stop by the remote loses its last 1.5 s and says so
// in the stop record. The take's stop awaits it: no row, no Retry, and no resume note, since a crash leaves the
// capture movie whole and playable as it is.
class IndexToFrontWork final : public FinishWork {
public:
    struct Job {
        QString title;
        QString movie;
        QString stopSidecar;
        bool byRemote = false;
    };

    explicit IndexToFrontWork(Job job) : job_(std::move(job)) {}

    // Rewrites a capture movie with its index at the front (a hidden sibling renamed over it); false leaves
    // the fragmented file as it was. Blocking.
    static bool moveIndexToFront(const QString& path);

    QString title() const override { return job_.title; }
    bool listed() const override { return false; }
    QString failureContext() const override { return QStringLiteral("camera-only stop"); }
    QCoro::Task<Outcome> run(Run run) override;

private:
    Job job_;
};
