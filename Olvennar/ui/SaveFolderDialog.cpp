#include "ui/SaveFolderDialog.h"

#include "core/SaveLocation.h"
#include "platform/system/Edition.h"
#include "platform/system/Paths.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

bool SaveFolderDialog::choose(Settings& settings, QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Save here"));
    dialog.setWindowTitle(QStringLiteral("Choose where ") + Edition::appName() + QStringLiteral(" saves your recordings."));
    const QString start = SaveLocation::current(settings);
    dialog.setDirectory(QFileInfo(start).isDir() ? start : Paths::homeFolder());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    settings.setString(QString::fromLatin1(SaveLocation::settingsKey),
                       QDir::cleanPath(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath()));
    return true;
}
