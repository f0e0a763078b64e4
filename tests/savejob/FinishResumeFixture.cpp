#include "FinishResumeFixture.h"

#include "finishing/RenderWork.h"

#include <QCoroFuture>

namespace {

QCoro::Task<FinishWork::Outcome> outcomeOf(QFuture<FinishWork::Outcome> future)
{
    co_await future;
    co_return future.result();
}

} // namespace

// Out of line: g++ 12 drops a coroutine's frame from an inline function used by two test files.
FinishWork::Outcome FinishResumeBase::answer(QFuture<FinishWork::Outcome> future) { return QCoro::waitFor(outcomeOf(std::move(future))); }

std::vector<FinishWork::Outcome> FinishResumeBase::resumeAll(const TakeRecovery::Findings& found)
{
    std::vector<FinishWork::Outcome> outcomes;
    for (const QJsonObject& note : found.finishes) {
        std::shared_ptr<FinishWork> work = FinishKinds::resume(note);
        EXPECT_TRUE(work) << note.value(QStringLiteral("kind")).toString().toStdString();
        if (work)
            outcomes.push_back(answer(controller->finishQueue().submit(work)));
    }
    return outcomes;
}

void FinishResumeBase::listStopped(const TakeRecovery::Findings& found)
{
    for (const TakeRecovery::Findings::StoppedRender& stopped : found.stoppedRenders)
        controller->finishQueue().listFailed(std::make_shared<RenderWork>(stopped.job), stopped.reason);
}
