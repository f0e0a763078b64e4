#include "platform/system/Edition.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace Edition {

QString appName()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QString display = QGuiApplication::applicationDisplayName();
        // Qt falls back to the application name itself; an explicitly set display name wins.
        if (!display.isEmpty())
            return display;
    }
    const QString name = QCoreApplication::applicationName();
    if (!name.isEmpty())
        return name;
    return QStringLiteral("Olvennar");
}

} // namespace Edition
