#pragma once

#include "takes/CameraOnlyTake.h"

// A "Just me" take: camera and microphone written straight to the finished "final" movie of a project
// folder. After a good stop the fragmented capture file is rewritten with its index at the front, so every
// editor opens it like any finished movie; a stop by the remote then loses its last 1.5 s. The stop awaits
// both; the take is final then, with nothing in the finish list.
class JustMeTake final : public CameraOnlyTake {
    Q_OBJECT

public:
    using CameraOnlyTake::CameraOnlyTake;

protected:
    bool filmsShort() const override { return false; }
    QString logWord() const override { return QStringLiteral("camera-only"); }
    QString fileWord() const override { return QStringLiteral("final"); }
    QCoro::Task<TakeEnd> finish(QString file, TakeFolder folder, bool byRemote) override;
};
