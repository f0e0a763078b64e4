#include "ui/QueueRows.h"

#include "finishing/FinishQueue.h"

#include <QFileInfo>

#include <cmath>

namespace QueueRows {

namespace {

using Tone = WindowStyle::Tone;
using Button = JobRow::Button;

// "5 s", "1.5 s": the break as the queue really waits it.
QString seconds(double value) { return QString::number(value, 'g', 3) + QStringLiteral(" s"); }

} // namespace

int percentage(double fraction)
{
    if (!std::isfinite(fraction))
        return 0;
    return static_cast<int>(std::trunc(fraction * 100.0));
}

JobRow finish(const FinishJob& job, bool waitingForBreak, bool retryable)
{
    JobRow row;
    row.id = job.id;
    const FinishJob::State& state = job.state;
    switch (state.kind) {
    case FinishJob::State::Kind::working: {
        const QString percent = QString::number(percentage(state.progress));
        if (waitingForBreak) {
            row.symbol = QStringLiteral("pause.circle");
            row.text = job.title + QStringLiteral(" waits: it finishes when you stop recording for ") + seconds(FinishQueue::breakSeconds)
                + QStringLiteral(" (") + percent + QStringLiteral("% so far)");
            row.maximumLines = 2;
        } else {
            row.spinner = true;
            row.text = QStringLiteral("Finishing ") + job.title + QStringLiteral("… ") + percent + QStringLiteral("%  (recording pauses it)");
        }
        break;
    }
    case FinishJob::State::Kind::done:
        row.symbol = QStringLiteral("checkmark.circle.fill");
        row.symbolTone = Tone::green;
        row.text = job.title + QStringLiteral(" is ready");
        // What of the take the file holds when not all of it: the row says it as the footer does.
        if (!state.message.isEmpty()) {
            row.text += QStringLiteral(". ") + state.message;
            row.maximumLines = 2;
        }
        row.textTone = Tone::primary;
        row.buttons = {Button::reveal, Button::dismiss};
        row.revealPath = state.path;
        break;
    case FinishJob::State::Kind::failed:
        row.symbol = QStringLiteral("exclamationmark.triangle.fill");
        row.symbolTone = Tone::red;
        // A later take's raw file is raw-2.mov and so on: name none of them.
        row.text = job.title + QStringLiteral(": ") + state.message + QStringLiteral(" (the raw files stay in the folder)");
        row.textTone = Tone::red;
        row.maximumLines = 2;
        if (retryable)
            row.buttons = {Button::retry, Button::dismiss};
        else
            row.buttons = {Button::dismiss};
        break;
    }
    return row;
}

JobRow enhance(const EnhanceQueue::EnhanceJob& job)
{
    using State = EnhanceQueue::EnhanceJob::State;
    JobRow row;
    row.id = job.id;
    const QString name = QFileInfo(job.sourcePath).fileName();
    switch (job.state) {
    case State::queued:
        row.symbol = QStringLiteral("clock");
        row.text = QStringLiteral("Queued — ") + name;
        break;
    case State::running:
        row.spinner = true;
        row.text = QStringLiteral("Enhancing ") + name + QStringLiteral("…");
        break;
    case State::succeeded:
        row.symbol = QStringLiteral("checkmark.circle.fill");
        row.symbolTone = Tone::green;
        row.text = QStringLiteral("Enhanced ") + name;
        row.textTone = Tone::primary;
        row.buttons = {Button::reveal, Button::dismiss};
        row.revealPath = job.result;
        break;
    case State::failed:
        row.symbol = QStringLiteral("exclamationmark.triangle.fill");
        row.symbolTone = Tone::red;
        row.text = job.result;
        row.textTone = Tone::red;
        row.buttons = {Button::retry, Button::dismiss};
        break;
    }
    return row;
}

} // namespace QueueRows
