#include "app/StudioEnd.h"

#include "app/EndRequest.h"
#include "core/QuitGuard.h"
#include "core/RecordingController.h"
#include "platform/system/Diagnostics.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <csignal>

namespace {

QString signalName(int number)
{
    switch (number) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("signal ") + QString::number(number);
    }
}

} // namespace

StudioEnd::StudioEnd(RecordingController& controller, QuitGuard& guard, int boundMilliseconds, QObject* parent)
    : QObject(parent)
    , controller_(controller)
    , guard_(guard)
    , boundMilliseconds_(boundMilliseconds)
{
}

void StudioEnd::quit()
{
    // "Quit anyway" gave the finish jobs up already; nothing else is waited for but the takes.
    windDown(false);
}

void StudioEnd::signalled(int number, std::int64_t receivedAt)
{
    const std::optional<std::int64_t> firstReceivedAt = firstSignal_ ? std::optional(firstSignal_->receivedAt) : std::nullopt;
    switch (EndRequest::answer(firstReceivedAt, receivedAt)) {
    case EndRequest::Answer::insists:
        finish(QStringLiteral("quit: ") + signalName(number) + QStringLiteral(" again; the studio ends now"));
        return;
    case EndRequest::Answer::sameRequest:
        Diagnostics::log(QStringLiteral("quit: ") + signalName(number) + QStringLiteral(" ") + QString::number((receivedAt - *firstReceivedAt) / 1'000'000)
            + QStringLiteral(" ms behind ") + signalName(firstSignal_->number) + QStringLiteral(" is the same request; the end goes on"));
        return;
    case EndRequest::Answer::begins:
        break;
    }
    firstSignal_ = FirstSignal{number, receivedAt};
    // Nobody is asked: the windows the end closes let it go on.
    guard_.beginEnding();
    Diagnostics::log(QStringLiteral("quit: ") + signalName(number) + QStringLiteral(" received; the studio ends once its takes are stopped and saved"));
    windDown(true);
}

QCoro::Task<> StudioEnd::windDown(bool saves)
{
    if (std::exchange(begun_, true))
        co_return;
    QPointer<StudioEnd> weak(this);
    QTimer::singleShot(boundMilliseconds_, this, [this] {
        finish(QStringLiteral("quit: the takes did not settle within ") + QString::number(boundMilliseconds_ / 1000.0)
            + QStringLiteral(" s; the studio ends without waiting longer"));
    });
    QCoro::Task<> settling = controller_.windDown(saves);
    co_await std::move(settling);
    if (weak)
        finish({});
}

void StudioEnd::finish(const QString& line)
{
    if (std::exchange(finished_, true))
        return;
    if (!line.isEmpty())
        Diagnostics::log(line);
    // An end the studio runs itself is no crash: the renders it leaves are resumed at the next launch.
    controller_.finishQueue().keepNotesForNextLaunch();
    QApplication::quit();
}
