#include "platform/system/WindowFrameAutosave.h"

#include "platform/system/Settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <iterator>

WindowFrameAutosave::WindowFrameAutosave(QWidget& window, Settings& settings, QString name)
    : QObject(&window)
    , window_(window)
    , settings_(settings)
    , name_(std::move(name))
{
    restore();
    window_.installEventFilter(this);
    restoring_ = false;
}

void WindowFrameAutosave::restore()
{
    const QScreen* screen = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), window_.size());
        frame.moveCenter(screen->availableGeometry().center());
        window_.move(frame.topLeft());
    }
    const QStringList parts = settings_.stringValue(settingsKey(name_), QString()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return;
    }
    // The window system's coordinates are 16-bit, and a frame larger than the whole desktop was never the
    // user's: either keeps the default frame.
    constexpr int largestCoordinate = 32767;
    if (std::any_of(std::begin(values), std::end(values), [](int v) { return std::abs(v) > largestCoordinate; }))
        return;
    const QRect saved(values[0], values[1], values[2], values[3]);
    if (saved.width() < window_.minimumWidth() || saved.height() < window_.minimumHeight())
        return;
    if (screen && (saved.width() > screen->virtualSize().width() || saved.height() > screen->virtualSize().height()))
        return;
    bool onScreen = false;
    for (const QScreen* each : QGuiApplication::screens())
        onScreen = onScreen || each->geometry().intersects(saved);
    if (!onScreen)
        return;
    window_.resize(saved.size());
    window_.move(saved.topLeft());
}

void WindowFrameAutosave::save()
{
    const QRect frame(window_.pos(), window_.size());
    settings_.setString(settingsKey(name_), QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()));
}

bool WindowFrameAutosave::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &window_ && !restoring_ && window_.isVisible() && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        save();
    return QObject::eventFilter(watched, event);
}
