#include "FinishFixture.h"

#include "finishing/PendingNote.h"

#include <QCoroFuture>
#include <QPromise>

#include <gtest/gtest.h>

namespace {

// A job of a kind the queue does not know: fails as often as told, counts its runs, notes itself.
class CountedWork final : public FinishWork {
public:
    CountedWork(QString output, int failures) : output_(std::move(output)), failures_(failures) {}

    QString title() const override { return QStringLiteral("counted"); }
    std::optional<Note> note() const override
    {
        return Note{PendingNote::pathFor(output_), QJsonObject{{QStringLiteral("kind"), QStringLiteral("counted")}, {QStringLiteral("output"), output_}}};
    }
    QString failureContext() const override { return QStringLiteral("counted"); }
    QCoro::Task<Outcome> run(Run run) override
    {
        ++runs;
        noteWhileRunning = QFileInfo::exists(PendingNote::pathFor(output_));
        run.progress(0.5);
        if (failures_-- > 0)
            co_return Outcome{ErrorInfo{QStringLiteral("Olvennar.Test"), 3, QStringLiteral("counted failed")}, {}, {}};
        co_return Outcome{std::nullopt, output_, QStringLiteral("all of it")};
    }
    void succeeded(FinishQueue&, const Outcome&) override { ++successes; }

    int runs = 0;
    int successes = 0;
    bool noteWhileRunning = false;

private:
    QString output_;
    int failures_;
};

// A job that runs until the test opens its gate, with a resume note or without one.
class GatedWork final : public FinishWork {
public:
    GatedWork(QString output, bool noted) : output_(std::move(output)), noted_(noted) { gate_.start(); }

    QString title() const override { return QFileInfo(output_).fileName(); }
    std::optional<Note> note() const override
    {
        if (!noted_)
            return std::nullopt;
        return Note{PendingNote::pathFor(output_), QJsonObject{{QStringLiteral("kind"), QStringLiteral("gated")}, {QStringLiteral("output"), output_}}};
    }
    QString failureContext() const override { return QStringLiteral("gated"); }
    QCoro::Task<Outcome> run(Run) override
    {
        co_await gate_.future();
        co_return Outcome{std::nullopt, output_, {}};
    }
    void open() { gate_.finish(); }

private:
    QString output_;
    bool noted_;
    QPromise<void> gate_;
};

QCoro::Task<FinishWork::Outcome> answer(QFuture<FinishWork::Outcome> future)
{
    co_await future;
    co_return future.result();
}

using Work = FinishTest;
using Kind = FinishJob::State::Kind;

} // namespace

TEST_F(Work, AJobThatIsNoRenderStartsAtOnceRightAfterATakeAndItsFailureDropsItsNoteButKeepsItsRetry)
{
    endTake(); // a render would now wait 5 s; a take's own finish must not
    const QString output = take(QStringLiteral("final-3.mov"));
    auto work = std::make_shared<CountedWork>(output, 1);
    const FinishWork::Outcome first = QCoro::waitFor(answer(controller->finishQueue().submit(work)));
    EXPECT_EQ(work->runs, 1);
    EXPECT_TRUE(work->noteWhileRunning);
    ASSERT_TRUE(first.failure);
    EXPECT_EQ(first.failure->description, QStringLiteral("counted failed"));
    ASSERT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_EQ(row(0).title, QStringLiteral("counted"));
    EXPECT_EQ(row(0).state.kind, Kind::failed);
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(output))) << "a failure is no crash: the next launch leaves it";
    EXPECT_TRUE(readLog().contains(QStringLiteral("counted")));

    // Its Retry runs it again on the same row, once.
    const QUuid id = row(0).id;
    ASSERT_TRUE(controller->finishQueue().hasFinishRetry(id));
    work->noteWhileRunning = false;
    controller->finishQueue().retryFinishJob(id);
    controller->finishQueue().retryFinishJob(id);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return row(0).state.kind == Kind::done; }, 3000));
    EXPECT_EQ(work->runs, 2);
    EXPECT_TRUE(work->noteWhileRunning) << "the Retry is noted again";
    EXPECT_EQ(work->successes, 1);
    EXPECT_EQ(row(0).state.path, output);
    EXPECT_EQ(row(0).state.message, QStringLiteral("all of it"));
    EXPECT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(output)));
    EXPECT_EQ(controller->finishingCount(), 0);
}

TEST_F(Work, ATapHoldsAJobOnItsListedRowAndASecondSubmitUnderTheSameIdKeepsOneRow)
{
    std::vector<std::shared_ptr<FinishWork>> held;
    controller->finishQueue().setTap([&held](const std::shared_ptr<FinishWork>& work) {
        held.push_back(work);
        return true;
    });
    const QUuid id = QUuid::createUuid();
    auto work = std::make_shared<CountedWork>(take(QStringLiteral("final.mov")), 0);
    const QFuture<FinishWork::Outcome> pending = controller->finishQueue().submit(work, id);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(work->runs, 0);
    EXPECT_EQ(pending.resultCount(), 0) << "a held job never answers";
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(take(QStringLiteral("final.mov")))));
    EXPECT_EQ(controller->finishingCount(), 1);

    controller->finishQueue().setTap({});
    QCoro::waitFor(answer(controller->finishQueue().submit(work, id)));
    EXPECT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_EQ(row(0).id, id);
    EXPECT_EQ(row(0).state.kind, Kind::done);
}

TEST_F(Work, AnEndTheSystemAskedForWaitsForAJobWithoutANoteButNeverForANotedOne)
{
    auto render = std::make_shared<GatedWork>(take(QStringLiteral("final.mov")), true);
    auto save = std::make_shared<GatedWork>(take(QStringLiteral("take.json")), false);
    controller->finishQueue().submit(render);
    controller->finishQueue().submit(save);
    EXPECT_TRUE(controller->finishQueue().runsUnnotedWork());
    // The user's quit waits for no finish job: "Quit anyway" gave them up.
    QCoro::Task<> quit = controller->windDown(false);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return quit.isReady(); }, 1000));

    QCoro::Task<> logout = controller->windDown(true);
    EXPECT_FALSE(TestEnvironment::waitUntil([&] { return logout.isReady(); }, 300)) << "the save would be lost";
    save->open();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return logout.isReady(); }, 3000));
    EXPECT_FALSE(controller->finishQueue().runsUnnotedWork());
    // The noted job still runs; its note lets the next launch finish it.
    EXPECT_EQ(row(0).state.kind, Kind::working);
    EXPECT_TRUE(QFileInfo::exists(PendingNote::pathFor(take(QStringLiteral("final.mov")))));
    render->open();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return row(0).state.kind == Kind::done; }, 3000));
}
