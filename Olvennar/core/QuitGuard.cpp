#include "core/QuitGuard.h"

#include <utility>

std::optional<QuitGuard::Alert> QuitGuard::alertFor(int takes)
{
    if (takes < 1)
        return std::nullopt;
    Alert alert;
    alert.messageText = takes == 1 ? QStringLiteral("A take is still being finished")
                                   : QString::number(takes) + QStringLiteral(" takes are still being finished");
    alert.informativeText = QStringLiteral("If you quit now their final.mov files will not be written. The raw files stay in the folder.");
    alert.buttons = {QStringLiteral("Keep open"), QStringLiteral("Quit anyway")};
    return alert;
}

QuitGuard::Reply QuitGuard::applicationShouldTerminate()
{
    if (ending_)
        return Reply::terminateNow;
    const auto alert = alertFor(finishingCount ? finishingCount() : 0);
    if (!alert)
        return Reply::terminateNow;
    // Nobody to ask: keep the application running rather than lose the finishing takes.
    const Reply reply = runAlert ? replyFor(runAlert(*alert)) : Reply::terminateCancel;
    // The system asked for the end while the alert stood: its end keeps what it keeps, whatever was chosen.
    if (ending_)
        return Reply::terminateNow;
    if (reply == Reply::terminateNow && giveUpFinishing)
        giveUpFinishing();
    return reply;
}

void QuitGuard::quit()
{
    if (std::exchange(ending_, true))
        return;
    if (endStudio)
        endStudio();
}
