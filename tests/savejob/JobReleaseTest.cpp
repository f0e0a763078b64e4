#include "FinishResumeFixture.h"

#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"
#include "platform/system/ProcessMemory.h"

#include <QDirIterator>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Kind = FinishJob::State::Kind;

// A finished job lets go of all it held: a save folder on a disk of its own can be unmounted once its takes
// are finished, and a long session's memory does not grow with its renders.
class JobRelease : public FinishResumeBase {
protected:
    // Descriptors this process holds in the takes' folders: a held take folder or take file, renamed or deleted
    // since. Only there: the log the jobs write lies in the sandbox too, open for a moment on its own thread.
    int held() const
    {
        const QString root = QFileInfo(path(QString())).canonicalFilePath() + QStringLiteral("/Takes");
        int count = 0;
        QDirIterator descriptors(QStringLiteral("/proc/self/fd"), QDir::System | QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        while (descriptors.hasNext()) {
            const QString target = QFileInfo(descriptors.next()).symLinkTarget();
            if (target.startsWith(root + QLatin1Char('/')))
                ++count;
        }
        return count;
    }
    // A saved screen take whose render is queued with its folder held, drawn with an hour of pointer track.
    std::shared_ptr<RenderWork> heldTake(const QString& name)
    {
        const QString take = takes(name);
        QDir().mkpath(take);
        write(take + QStringLiteral("/raw.mov"), "raw");
        Mixdown::Request request;
        request.rawURL = take + QStringLiteral("/raw.mov");
        request.clicks = {{1.5, 0.25, 0.75}};
        PointerPath pointer;
        pointer.xs.assign(static_cast<size_t>(3600 * PointerPath::rate), 0.5);
        pointer.ys = pointer.xs;
        request.pointer = std::move(pointer);
        request.recordedSeconds = 3600;
        PendingRender::Job job{name, name, take + QStringLiteral("/final.mov"), take + QStringLiteral("/stop.json"), std::move(request), 0,
            std::nullopt, HeldFolder::hold(take)};
        return std::make_shared<RenderWork>(std::move(job));
    }
};

TEST_F(JobRelease, aFinishedRenderOrADismissedFailureHoldsNothingInItsFolderAndNoPlan)
{
    const int before = held();
    std::vector<std::weak_ptr<FinishWork>> finished;
    for (int take = 1; take <= 4; ++take) {
        std::shared_ptr<RenderWork> work = heldTake(QStringLiteral("video ") + QString::number(take));
        finished.push_back(work);
        controller->finishQueue().submit(std::move(work));
    }
    // The third renders after a USB drive's folder was renamed: followed, then let go all the same.
    ASSERT_TRUE(QDir().rename(takes(QStringLiteral("video 3")), takes(QStringLiteral("intro take"))));
    clock.advance(10);
    ASSERT_EQ(tools->renders.size(), 4u);
    tools->renders.clear();
    for (size_t row = 0; row < 4; ++row)
        EXPECT_EQ(this->row(row).state.kind, Kind::done) << this->row(row).state.message.toStdString();
    for (const std::weak_ptr<FinishWork>& work : finished)
        EXPECT_TRUE(work.expired()) << "a finished render's work, plan and folder stay held";
    EXPECT_EQ(held(), before);

    // A failed row keeps what its Retry needs until the Retry ends or the row is dismissed.
    tools->failRenders = 2;
    std::shared_ptr<RenderWork> failing = heldTake(QStringLiteral("video 5"));
    const std::weak_ptr<FinishWork> failed = failing;
    std::shared_ptr<RenderWork> retried = heldTake(QStringLiteral("video 6"));
    const std::weak_ptr<FinishWork> retriedWork = retried;
    controller->finishQueue().submit(std::move(failing));
    controller->finishQueue().submit(std::move(retried));
    clock.advance(10);
    ASSERT_EQ(row(4).state.kind, Kind::failed);
    ASSERT_EQ(row(5).state.kind, Kind::failed);
    EXPECT_FALSE(failed.expired());
    EXPECT_GE(held(), before + 2) << "each failed row keeps its take folder";
    controller->finishQueue().retryFinishJob(row(5).id);
    clock.advance(10);
    EXPECT_EQ(row(5).state.kind, Kind::done);
    EXPECT_TRUE(retriedWork.expired()) << "a retried render that finished stays held";
    controller->finishQueue().dismissFinishJob(row(4).id);
    tools->renders.clear();
    EXPECT_TRUE(failed.expired()) << "a dismissed failure's work stays held";
    EXPECT_EQ(held(), before);
}

TEST_F(JobRelease, aSessionsMemoryDoesNotGrowWithItsFinishedRenders)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory in quarantine";
#endif
    const auto renderOne = [this](int take) {
        controller->finishQueue().submit(heldTake(QStringLiteral("take ") + QString::number(take)));
        clock.advance(10);
        tools->renders.clear();
        controller->finishQueue().dismissFinishJob(row(0).id);
        ProcessMemory::returnFreedMemory();
    };
    renderOne(0);
    const long settled = ProcessMemory::residentKilobytes();
    ASSERT_GT(settled, 0);
    for (int take = 1; take <= 6; ++take)
        renderOne(take);
    // Each plan holds an hour of pointer track, some 7 MB: six finished renders kept would hold 40 MB.
    const long grown = ProcessMemory::residentKilobytes() - settled;
    EXPECT_LT(grown, 10 * 1024) << "kB kept after six finished renders";
}

} // namespace
