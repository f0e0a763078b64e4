#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Asked before the application ends: while takes are still being finished it asks the user first.
class QuitGuard {
public:
    enum class Reply { terminateNow, terminateCancel };

    struct Alert {
        QString messageText;
        QString informativeText;
        QStringList buttons; // first is the default
    };

    // The alert for n takes still being finished; nothing when n is below 1 (quit at once).
    static std::optional<Alert> alertFor(int takes);
    // Index 1 ("Quit anyway") ends the application; anything else keeps it running.
    static Reply replyFor(int chosenButton) { return chosenButton == 1 ? Reply::terminateNow : Reply::terminateCancel; }

    // Counts the takes with finish work still running, each once however many of its jobs run; 0 until the
    // start-up task installs the controller's count.
    std::function<int()> finishingCount = [] { return 0; };
    // Runs the alert modally and returns the chosen button's index; the application installs the window
    // layer's message box.
    std::function<int(const Alert&)> runAlert;
    // Runs once "Quit anyway" is chosen, before the application ends: the finish jobs are given up.
    std::function<void()> giveUpFinishing;

    Reply applicationShouldTerminate();
};
