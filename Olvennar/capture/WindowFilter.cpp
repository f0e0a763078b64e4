#include "capture/WindowFilter.h"

#include <QCoreApplication>

#include <unistd.h>

WindowFilter::WindowFilter(int64_t ownPid, QString ownWindowClass) : ownPid_(ownPid), ownWindowClass_(std::move(ownWindowClass)) {}

WindowFilter WindowFilter::forThisProcess()
{
    // Qt names the window class after the application name.
    return WindowFilter(static_cast<int64_t>(getpid()), QCoreApplication::applicationName());
}

bool WindowFilter::isKorvath(const WindowInfo& window)
{
    for (const QString& name : {window.wmClass, window.wmInstance}) {
        if (name.compare(QLatin1String("korvath"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("com.pravik.korvath"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool WindowFilter::isPrivateTitle(const QString& title)
{
    const QString lower = title.toLower();
    return lower.contains(QStringLiteral("\u00B7 private")) || lower.contains(QStringLiteral(" - script"));
}

bool WindowFilter::excludes(const WindowInfo& window) const
{
    if (window.pid != 0 ? window.pid == ownPid_ : (!ownWindowClass_.isEmpty() && window.wmClass == ownWindowClass_))
        return true;
    return isKorvath(window) && isPrivateTitle(window.title);
}
