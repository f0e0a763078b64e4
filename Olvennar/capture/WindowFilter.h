#pragma once

#include "platform/x11/WindowInfo.h"

#include <QString>

#include <cstdint>

// Which windows a screen take leaves out: every window of the studio itself (its process id, or its window
// class when the window carries no pid), and the companion canvas app Korvath's windows whose lower-cased
// title contains "· private" or " - script". Everything else stays visible.
class WindowFilter {
public:
    WindowFilter(int64_t ownPid, QString ownWindowClass);
    // The running studio: this process and the application's window class.
    static WindowFilter forThisProcess();

    bool excludes(const WindowInfo& window) const;
    static bool isKorvath(const WindowInfo& window);
    static bool isPrivateTitle(const QString& title);

private:
    int64_t ownPid_;
    QString ownWindowClass_;
};
