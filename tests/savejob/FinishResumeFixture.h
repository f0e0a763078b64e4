#pragma once

#include "FinishFixture.h"

#include "finishing/FinishQueue.h"
#include "finishing/TakeRecovery.h"
#include "support/SyntheticTake.h"
#include "takes/FinishKinds.h"

#include <gtest/gtest.h>

// A studio killed in the middle of a finish job leaves the job's note and its half-made pieces; the next
// launch sweeps the save root and resumes the job on a row of the queue, once.
class FinishResumeBase : public FinishTest {
public:
    // Waits for a job the queue runs.
    static FinishWork::Outcome answer(QFuture<FinishWork::Outcome> future);

protected:
    QString takes(const QString& name) const { return path(QStringLiteral("Takes/") + name); }
    void write(const QString& file, const QByteArray& content) const
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }

    // What the launch does with the sweep's findings; the rows' outcomes, in order.
    std::vector<FinishWork::Outcome> resumeAll(const TakeRecovery::Findings& found);
    // What the launch does with the renders the crash guard stopped: a failed row each.
    void listStopped(const TakeRecovery::Findings& found);

    // A "Just me" final as the camera-only recorder leaves it: fragmented, index at the end of each fragment.
    void captureMovie(const QString& file, double seconds)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        SyntheticTake::MovieRecipe recipe;
        recipe.seconds = seconds;
        recipe.mode = MovieWriteMode::capture;
        SyntheticTake::writeMovie(file, recipe);
    }
    static QByteArray bytes(const QString& file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    static double seconds(const QString& file) { return SyntheticTake::probeField(file, QStringLiteral("video"), QStringLiteral("duration")).toDouble(); }
};

