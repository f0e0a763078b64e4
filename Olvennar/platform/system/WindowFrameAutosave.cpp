#include "platform/system/WindowFrameAutosave.h"

#include "platform/system/Settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

std::optional<QRect> WindowFrameAutosave::storedFrame(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    constexpr int largestCoordinate = 32767;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        // Compared as they stand: the most negative int has no magnitude an int can hold.
        if (!ok || values[i] < -largestCoordinate || values[i] > largestCoordinate)
            return std::nullopt;
    }
    return QRect(values[0], values[1], values[2], values[3]);
}

void WindowFrameAutosave::restore()
{
    const QScreen* screen = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), window_.size());
        frame.moveCenter(screen->availableGeometry().center());
        window_.move(frame.topLeft());
    }
    const auto stored = storedFrame(settings_.stringValue(settingsKey(name_), QString()));
    // A frame beyond the window system's coordinates or larger than the whole desktop was never the user's:
    // either keeps the default frame.
    if (!stored)
        return;
    const QRect& saved = *stored;
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
