#include "ui/FileManagerReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace FileManagerReveal {

QString fallbackFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

Route reveal(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
        // A short wait: a desktop without a file manager service answers with an error at once.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return Route::fileManager;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(fallbackFolder(absolute))))
        return Route::openFolder;
    return Route::failed;
}

} // namespace FileManagerReveal
