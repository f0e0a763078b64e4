#include "ui/QuitAlertDialog.h"

#include <QMessageBox>
#include <QPushButton>

int QuitAlertDialog::run(const QuitGuard::Alert& alert, QWidget* parent)
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
