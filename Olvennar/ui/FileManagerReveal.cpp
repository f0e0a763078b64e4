#include "ui/FileManagerReveal.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/HomePath.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace FileManagerReveal {

namespace {
void openFolder(const QString& path, const std::function<void(const QString&)>& failed)
{
    const QString folder = fallbackFolder(path);
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return;
    Diagnostics::log(QStringLiteral("reveal: could not open ") + folder);
    if (failed)
        failed(failureText(folder));
}
} // namespace

QString failureText(const QString& folder)
{
    return QStringLiteral("No file manager could be opened. The file is in ") + HomePath::abbreviated(folder);
}

QString fallbackFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

void reveal(const QString& path, std::function<void(const QString& sentence)> failed)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(absolute, failed);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, absolute, failed] {
        if (watcher->isError())
            openFolder(absolute, failed);
        watcher->deleteLater();
    });
}

} // namespace FileManagerReveal
