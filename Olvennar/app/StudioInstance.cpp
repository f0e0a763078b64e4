#include "app/StudioInstance.h"

#include "platform/system/Diagnostics.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace {

// How long a knock may take: the first copy answers from its event loop.
constexpr int knockMilliseconds = 1000;

} // namespace

StudioInstance::StudioInstance(const QString& folder, QObject* parent)
    : QObject(parent)
    , lockPath_(QDir(folder).filePath(QStringLiteral("studio.lock")))
{
    // A short name (socket paths are limited) that differs for every studio folder.
    const QString name = QStringLiteral("olvennar-")
        + QString::fromLatin1(QCryptographicHash::hash(QFile::encodeName(lockPath_), QCryptographicHash::Sha1).toHex().left(16));
    // A socket file is left behind by a studio that ends by a signal: it goes in the user's runtime folder
    // (private, emptied at logout), never in /tmp; without one, in the abstract namespace, which leaves no file.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable()) {
        socketName_ = QDir(runtime).filePath(name);
    } else {
        socketName_ = name;
        abstract_ = true;
    }
}

StudioInstance::~StudioInstance() = default;

bool StudioInstance::claim()
{
    QDir().mkpath(QFileInfo(lockPath_).absolutePath());
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Only a lock whose process is gone is stale; a live studio's lock never ages out.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        const bool answered = knock();
        Diagnostics::log(answered ? QStringLiteral("another studio is running; it was brought forward and this launch ends")
                                  : QStringLiteral("another studio is running but did not answer; this launch ends"));
        return false;
    }
    // Holding the lock, a socket left by a killed copy is ours to replace.
    if (!abstract_)
        QLocalServer::removeServer(socketName_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(abstract_ ? QLocalServer::AbstractNamespaceOption : QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromServer();
            Q_EMIT knocked();
        }
    });
    if (!server_->listen(socketName_))
        Diagnostics::log(QStringLiteral("a later launch cannot bring this studio forward: ") + server_->errorString());
    return true;
}

bool StudioInstance::knock() const
{
    QLocalSocket socket;
    if (abstract_)
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(socketName_);
    if (!socket.waitForConnected(knockMilliseconds))
        return false;
    // The first copy answers by hanging up once it has heard the knock.
    socket.waitForDisconnected(knockMilliseconds);
    return true;
}

void StudioInstance::stopAnswering()
{
    if (!server_)
        return;
    server_->close();
    server_.reset();
}
