#include "ui/AccessInstructionDialog.h"

#include "platform/system/Permissions.h"

#include <QMessageBox>

void AccessInstructionDialog::open(const QString& pane, QWidget* parent)
{
    const QString text = Permissions::instruction(pane);
    if (text.isEmpty())
        return;
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Access needed"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
