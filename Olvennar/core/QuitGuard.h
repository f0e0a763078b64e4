#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Asked before the application ends: while takes are still being finished it asks the user first. Once the
// end is settled it begins the studio's end, once; from then on it asks nothing, so every window the end
// closes lets it go on.
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

    // Counts the takes a quit now would cut short, each once however many of its jobs run: one recording,
    // paused or stopping, and those with finish work still running; 0 until the start-up task installs the
    // controller's count.
    std::function<int()> finishingCount = [] { return 0; };
    // Runs the alert modally and returns the chosen button's index; the application installs the window
    // layer's message box.
    std::function<int(const Alert&)> runAlert;
    // Runs once "Quit anyway" is chosen, before the application ends: the finish jobs are given up.
    std::function<void()> giveUpFinishing;
    // Runs once, when the quit is settled: the application's end, which lets a take under way stop before
    // the event loop ends.
    std::function<void()> endStudio;

    // Nothing is asked once the end began.
    Reply applicationShouldTerminate();
    // Begins the studio's end (endStudio), once.
    void quit();
    // The end began without asking (the system asked for it): later quits and closes go through as they are.
    void beginEnding() { ending_ = true; }
    bool ending() const { return ending_; }

private:
    bool ending_ = false;
};
