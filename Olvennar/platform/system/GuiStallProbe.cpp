#include "platform/system/GuiStallProbe.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/HostClock.h"

#include <algorithm>

GuiStallProbe::GuiStallProbe(bool enabled, QObject* parent)
    : QObject(parent)
    , enabled_(enabled)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { sample(); });
}

bool GuiStallProbe::enabledByEnvironment() { return !qEnvironmentVariableIsEmpty("OLVENNAR_GUI_STALLS"); }

void GuiStallProbe::begin(const QString& label)
{
    if (!enabled_)
        return;
    if (active_)
        end();
    label_ = label;
    active_ = true;
    longest_ = 0;
    samples_ = 0;
    last_ = HostClock::nowSeconds();
    timer_.start();
}

void GuiStallProbe::sample()
{
    const double now = HostClock::nowSeconds();
    // The part of the gap beyond the timer's own interval is time the event loop could not run.
    longest_ = std::max(longest_, (now - last_) * 1000.0 - intervalMs);
    last_ = now;
    ++samples_;
}

std::optional<double> GuiStallProbe::end()
{
    if (!active_)
        return std::nullopt;
    // A block that lasted up to this call has not been followed by a tick yet.
    sample();
    timer_.stop();
    active_ = false;
    Diagnostics::log(QStringLiteral("GUI thread during the %1: longest wait %2 ms (%3 samples)")
                         .arg(label_)
                         .arg(longest_, 0, 'f', 1)
                         .arg(samples_));
    return longest_;
}
