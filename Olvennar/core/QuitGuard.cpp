#include "core/QuitGuard.h"

#include <QMessageBox>
#include <QPushButton>

std::optional<QuitGuard::Alert> QuitGuard::alertFor(int workingJobs)
{
    if (workingJobs < 1)
        return std::nullopt;
    Alert alert;
    alert.messageText = workingJobs == 1 ? QStringLiteral("A take is still being finished")
                                         : QString::number(workingJobs) + QStringLiteral(" takes are still being finished");
    alert.informativeText = QStringLiteral("If you quit now their final.mov files will not be written. The raw files stay in the folder.");
    alert.buttons = {QStringLiteral("Keep open"), QStringLiteral("Quit anyway")};
    return alert;
}

namespace {
int runMessageBox(const QuitGuard::Alert& alert, QWidget* parent)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    QPushButton* keep = box.addButton(alert.buttons.value(0), QMessageBox::RejectRole);
    QPushButton* quit = box.addButton(alert.buttons.value(1), QMessageBox::DestructiveRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == quit ? 1 : 0;
}
} // namespace

QuitGuard::Reply QuitGuard::applicationShouldTerminate(QWidget* parent)
{
    const auto alert = alertFor(finishingCount ? finishingCount() : 0);
    if (!alert)
        return Reply::terminateNow;
    const int chosen = runAlert ? runAlert(*alert) : runMessageBox(*alert, parent);
    return replyFor(chosen);
}
