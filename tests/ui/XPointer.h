#pragma once

#include "support/TestEnvironment.h"

#include <QLayout>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QWindow>

// Real pointer clicks from another X client (xdotool), as a user would make them.
namespace XPointer {

inline QString xdotool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Shows the window at the place on the shared display; true once the server shows it.
inline bool showAt(QWidget& window, QPoint place)
{
    window.move(place);
    window.show();
    return TestEnvironment::waitUntil([&window] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 3000);
}

// Moves the pointer onto the widget's centre and clicks. Other tests may map windows on the shared
// display, so the click waits until the widget's window is the one under the pointer. False when it never is.
inline bool click(QWidget* widget)
{
    // A widget that has just appeared gets its place when the pending layouts run.
    for (QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (parent->layout())
            parent->layout()->activate();
    }
    const QPoint centre = widget->mapToGlobal(widget->rect().center());
    const QWidget* window = widget->window();
    for (int attempt = 0; attempt < 20; ++attempt) {
        // Off the spot first: a move onto where the pointer already is would not be reported.
        xdotool({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")});
        const QString where = xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(centre.x()),
            QString::number(centre.y()), QStringLiteral("getmouselocation"), QStringLiteral("--shell")});
        if (where.contains(QStringLiteral("WINDOW=%1\n").arg(window->winId()))) {
            xdotool({QStringLiteral("click"), QStringLiteral("1")});
            return true;
        }
        xdotool({QStringLiteral("windowraise"), QString::number(window->winId())});
        TestEnvironment::waitUntil([] { return false; }, 50);
    }
    return false;
}

} // namespace XPointer
