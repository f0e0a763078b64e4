#include "WindowTest.h"

#include "support/QueueRender.h"
#include "support/FakeFinishingTools.h"
#include "ui/JobQueuePanel.h"
#include "ui/QueueRows.h"
#include "ui/SectionSlot.h"

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <limits>

namespace {

using Tone = WindowStyle::Tone;
using Button = JobRow::Button;
using FinishState = FinishJob::State;
using EnhanceJob = EnhanceQueue::EnhanceJob;

FinishState working(double progress) { return {FinishState::Kind::working, progress, {}, {}}; }
FinishState done(const QString& file) { return {FinishState::Kind::done, 0, file, {}}; }
FinishState failed(const QString& message) { return {FinishState::Kind::failed, 0, {}, message}; }

TEST(QueueRowsTest, percentagesAreTruncatedWholeNumbers)
{
    const std::vector<std::pair<double, int>> cases{{0.426, 42}, {1.0, 100}, {0.999, 99}, {0.0, 0}, {0.0099, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& [fraction, percent] : cases)
        EXPECT_EQ(QueueRows::percentage(fraction), percent) << fraction;
}

TEST(QueueRowsTest, finishRowsByState)
{
    struct Case {
        FinishState state;
        bool waiting;
        bool spinner;
        QString symbol;
        QString text;
        Tone textTone;
        int lines;
        std::vector<Button> buttons;
    };
    const std::vector<Case> cases{
        {working(0.426), false, true, "", "Finishing take 2… 42%  (recording pauses it)", Tone::secondary, 1, {}},
        {working(1.0), false, true, "", "Finishing take 2… 100%  (recording pauses it)", Tone::secondary, 1, {}},
        // The queue waits five seconds of break, not a minute and a half.
        {working(0.426), true, false, "pause.circle",
            "take 2 waits: it finishes when you stop recording for 5 s (42% so far)", Tone::secondary, 2, {}},
        {done("/t/final-2.mov"), false, false, "checkmark.circle.fill", "take 2 is ready", Tone::primary, 1,
            {Button::reveal, Button::dismiss}},
        // A final that holds less than the take, or left damaged pictures out, says so in its own row.
        {{FinishState::Kind::done, 0, "/t/final-2.mov", "Finished the first 0:02 of 0:05 — the rest of raw-2.mov could not be read"}, false,
            false, "checkmark.circle.fill", "take 2 is ready. Finished the first 0:02 of 0:05 — the rest of raw-2.mov could not be read",
            Tone::primary, 2, {Button::reveal, Button::dismiss}},
        // A second take's raw file is raw-2.mov: the row names no single file.
        {failed("Mixdown failed: disk full"), true, false, "exclamationmark.triangle.fill",
            "take 2: Mixdown failed: disk full (the raw files stay in the folder)", Tone::red, 2, {Button::retry, Button::dismiss}},
    };
    for (const Case& c : cases) {
        const FinishJob job{QUuid::createUuid(), QStringLiteral("take 2"), c.state};
        const JobRow row = QueueRows::finish(job, c.waiting);
        EXPECT_EQ(row.id, job.id);
        EXPECT_EQ(row.spinner, c.spinner) << c.text.toStdString();
        EXPECT_EQ(row.symbol, c.symbol) << c.text.toStdString();
        EXPECT_EQ(row.text, c.text);
        EXPECT_EQ(row.textTone, c.textTone) << c.text.toStdString();
        EXPECT_EQ(row.maximumLines, c.lines) << c.text.toStdString();
        EXPECT_EQ(row.buttons, c.buttons) << c.text.toStdString();
    }
    // A failure no Retry can mend (its take's folder is gone) offers none that would do nothing.
    EXPECT_EQ(QueueRows::finish({QUuid(), QStringLiteral("t"), failed("final.mov was not made")}, false, false).buttons, std::vector<Button>{Button::dismiss});
    EXPECT_EQ(QueueRows::finish({QUuid(), QStringLiteral("t"), done("/t/final.mov")}, false).revealPath,
        QStringLiteral("/t/final.mov"));
}

TEST(QueueRowsTest, enhanceRowsByState)
{
    struct Case {
        EnhanceJob::State state;
        QString result;
        bool spinner;
        QString symbol;
        QString text;
        Tone textTone;
        std::vector<Button> buttons;
    };
    const std::vector<Case> cases{
        {EnhanceJob::State::queued, "", false, "clock", "Queued — final-2.mov", Tone::secondary, {}},
        {EnhanceJob::State::running, "", true, "", "Enhancing final-2.mov…", Tone::secondary, {}},
        {EnhanceJob::State::succeeded, "/t/final-2-enhanced.mov", false, "checkmark.circle.fill", "Enhanced final-2.mov", Tone::primary,
            {Button::reveal, Button::dismiss}},
        {EnhanceJob::State::failed, "voice_polish.sh exited with status 3", false, "exclamationmark.triangle.fill",
            "voice_polish.sh exited with status 3", Tone::red, {Button::retry, Button::dismiss}},
    };
    for (const Case& c : cases) {
        const EnhanceJob job{QUuid::createUuid(), QStringLiteral("/t/final-2.mov"), c.state, c.result};
        const JobRow row = QueueRows::enhance(job);
        EXPECT_EQ(row.spinner, c.spinner) << c.text.toStdString();
        EXPECT_EQ(row.symbol, c.symbol) << c.text.toStdString();
        EXPECT_EQ(row.text, c.text);
        EXPECT_EQ(row.textTone, c.textTone) << c.text.toStdString();
        EXPECT_EQ(row.maximumLines, 1);
        EXPECT_EQ(row.buttons, c.buttons) << c.text.toStdString();
    }
    EXPECT_EQ(QueueRows::enhance({QUuid(), "/t/a.mov", EnhanceJob::State::succeeded, "/t/a-enhanced.mov"}).revealPath,
        QStringLiteral("/t/a-enhanced.mov"));
}

class QueuePanelsTest : public WindowTest {
protected:
    JobQueuePanel* finishPanel() const { return view->finishQueuePanel(); }
    JobQueuePanel* enhancePanel() const { return view->enhanceQueuePanel(); }
    static QList<QWidget*> rowWidgets(JobQueuePanel* panel)
    {
        QList<QWidget*> shown;
        for (QWidget* row : panel->scrollArea()->widget()->findChildren<QWidget*>(QStringLiteral("jobRow"), Qt::FindDirectChildrenOnly)) {
            if (!row->isHidden())
                shown << row;
        }
        return shown;
    }
    static QPushButton* button(QWidget* row, const QString& name) { return row->findChild<QPushButton*>(name); }
    static FinishJob job(const QString& title, FinishState state) { return {QUuid::createUuid(), title, std::move(state)}; }
};

TEST_F(QueuePanelsTest, emptyListsTakeNoRoom)
{
    EXPECT_FALSE(view->slot(ContentView::Slot::finishQueue)->isVisibleTo(view.get()));
    EXPECT_FALSE(view->slot(ContentView::Slot::enhanceQueue)->isVisibleTo(view.get()));
    const int height = view->sizeHint().height();
    controller->finishQueue().setFinishJobs({job(QStringLiteral("a"), working(0.5))});
    settle();
    EXPECT_TRUE(finishPanel()->isVisibleTo(view.get()));
    EXPECT_GT(view->sizeHint().height(), height);
}

TEST_F(QueuePanelsTest, dismissRemovesOnlyItsOwnRowAndRevealShowsTheFile)
{
    const FinishJob a = job(QStringLiteral("a"), done(path("a/final.mov")));
    const FinishJob b = job(QStringLiteral("b"), working(0.2));
    const FinishJob c = job(QStringLiteral("c"), failed(QStringLiteral("forced")));
    controller->finishQueue().setFinishJobs({a, b, c});
    settle();
    QList<QWidget*> rows = rowWidgets(finishPanel());
    ASSERT_EQ(rows.size(), 3);
    // A working row offers nothing to press.
    EXPECT_TRUE(rows[1]->findChildren<QPushButton*>().isEmpty());
    button(rows[0], QStringLiteral("revealButton"))->click();
    EXPECT_EQ(hooks.calls, QStringList({QStringLiteral("reveal ") + path("a/final.mov")}));
    button(rows[0], QStringLiteral("dismissButton"))->click();
    settle();
    ASSERT_EQ(controller->finishJobs().size(), 2u);
    EXPECT_EQ(controller->finishJobs()[0].id, b.id);
    EXPECT_EQ(controller->finishJobs()[1].id, c.id);
    rows = rowWidgets(finishPanel());
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->property("jobId").toString(), b.id.toString());
}

TEST_F(QueuePanelsTest, aLongSessionScrollsInsteadOfGrowingTheWindow)
{
    std::vector<FinishJob> jobs;
    for (int i = 1; i <= 12; ++i)
        jobs.push_back(job(QStringLiteral("video 1 · take %1").arg(i), i % 3 == 0 ? working(0.5) : done(path(QStringLiteral("f%1.mov").arg(i)))));
    controller->finishQueue().setFinishJobs({jobs.begin(), jobs.begin() + 4});
    settle();
    const int fourRows = finishPanel()->sizeHint().height();
    const int windowWithFour = view->sizeHint().height();
    ASSERT_GT(fourRows, 0);
    EXPECT_EQ(finishPanel()->scrollArea()->verticalScrollBar()->maximum(), 0) << "four rows fit without scrolling";

    controller->finishQueue().setFinishJobs(jobs);
    settle();
    EXPECT_LE(finishPanel()->sizeHint().height(), fourRows);
    EXPECT_LE(view->sizeHint().height(), windowWithFour);
    QScrollBar* bar = finishPanel()->scrollArea()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "the newest rows are the ones in view";
    QList<QWidget*> rows = rowWidgets(finishPanel());
    ASSERT_EQ(rows.size(), 12);
    const QRect viewport = finishPanel()->scrollArea()->viewport()->rect();
    const auto inView = [&](QWidget* row) {
        return viewport.intersects(QRect(row->mapTo(finishPanel()->scrollArea()->viewport(), QPoint(0, 0)), row->size()));
    };
    EXPECT_TRUE(inView(rows.last()));
    EXPECT_FALSE(inView(rows.first()));

    // Scrolled to the top, the view stays there while a render's progress redraws the rows, and the first
    // row can be dismissed with its ✕ like any other.
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    settle();
    jobs[2].state.progress = 0.75;
    controller->finishQueue().setFinishJobs(jobs);
    settle();
    EXPECT_EQ(bar->value(), 0);
    rows = rowWidgets(finishPanel());
    ASSERT_EQ(rows.size(), 12);
    EXPECT_TRUE(inView(rows.first()));
    button(rows.first(), QStringLiteral("dismissButton"))->click();
    settle();
    ASSERT_EQ(controller->finishJobs().size(), 11u);
    EXPECT_EQ(controller->finishJobs().front().id, jobs[1].id);
    EXPECT_EQ(rowWidgets(finishPanel()).size(), 11);

    // Back to a few rows, the panel shrinks to them again.
    controller->finishQueue().setFinishJobs({jobs[0], jobs[1]});
    settle();
    EXPECT_LT(finishPanel()->sizeHint().height(), fourRows);
    EXPECT_EQ(finishPanel()->scrollArea()->verticalScrollBar()->maximum(), 0);
}

TEST_F(QueuePanelsTest, retryRunsTheStoredRetryOnceAndASecondPressDoesNothing)
{
    auto tools = std::make_shared<FakeFinishingTools>();
    tools->failRenders = 1;
    controller->finishQueue().setFinishingTools(tools);
    Mixdown::Request request;
    request.rawURL = path("raw.mov");
    queueRender(controller->finishQueue(), QStringLiteral("video take"), request, path("final.mov"), path("stop.json"), QStringLiteral("t"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !controller->finishJobs().empty() && controller->finishJobs()[0].state.kind == FinishState::Kind::failed; }, 3000));
    settle();
    QList<QWidget*> rows = rowWidgets(finishPanel());
    ASSERT_EQ(rows.size(), 1);
    QPushButton* retry = button(rows[0], QStringLiteral("retryButton"));
    ASSERT_NE(retry, nullptr);
    tools->holdRenders = true;
    retry->click();
    retry->click(); // before the list is drawn again
    EXPECT_EQ(tools->renders.size(), 2u);
    settle();
    rows = rowWidgets(finishPanel());
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(rows[0]->findChildren<QPushButton*>().isEmpty()) << "working again";
    tools->complete(1);
    settle();
    EXPECT_EQ(controller->finishJobs()[0].state.kind, FinishState::Kind::done);
}

TEST_F(QueuePanelsTest, enhanceDismissRemovesEveryRowWithItsIdAndRetryRequeues)
{
    // A pipeline that fails every job, so rows settle as failed.
    EnhanceQueue& queue = controller->enhanceQueue();
    const QUuid first = queue.enqueue(path("one.mov"));
    const QUuid second = queue.enqueue(path("two.mov"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !queue.isWorkerBusy(); }, 10000));
    settle();
    ASSERT_EQ(queue.enhanceJobs().size(), 2u);
    for (const EnhanceJob& row : queue.enhanceJobs())
        ASSERT_EQ(row.state, EnhanceJob::State::failed) << "no voice-polish script in the sandbox";
    QList<QWidget*> rows = rowWidgets(enhancePanel());
    ASSERT_EQ(rows.size(), 2);
    button(rows[0], QStringLiteral("dismissButton"))->click();
    settle();
    ASSERT_EQ(queue.enhanceJobs().size(), 1u);
    EXPECT_EQ(queue.enhanceJobs()[0].id, second);
    rows = rowWidgets(enhancePanel());
    ASSERT_EQ(rows.size(), 1);
    button(rows[0], QStringLiteral("retryButton"))->click();
    EXPECT_NE(queue.enhanceJobs()[0].state, EnhanceJob::State::failed);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !queue.isWorkerBusy(); }, 10000));
    queue.removeEnhanceJob(first); // already gone: nothing changes
    EXPECT_EQ(queue.enhanceJobs().size(), 1u);
}

} // namespace
