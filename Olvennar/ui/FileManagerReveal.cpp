#include "ui/FileManagerReveal.h"

#include "platform/system/Diagnostics.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace FileManagerReveal {

namespace {
void openFolder(const QString& path)
{
    const QString folder = fallbackFolder(path);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        Diagnostics::log(QStringLiteral("reveal: could not open ") + folder);
}
} // namespace

QString fallbackFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

void reveal(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(absolute);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, absolute] {
        if (watcher->isError())
            openFolder(absolute);
        watcher->deleteLater();
    });
}

} // namespace FileManagerReveal
