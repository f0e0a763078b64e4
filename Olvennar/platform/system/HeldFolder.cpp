#include "platform/system/HeldFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

std::shared_ptr<const HeldFolder> HeldFolder::hold(const QString& path)
{
    // O_PATH: holding a folder reads nothing of it, and needs no read permission.
    OpenFile folder = OpenFile::adopt(::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isOpen())
        return nullptr;
    return std::make_shared<const HeldFolder>(std::move(folder));
}

std::optional<QString> HeldFolder::now(const QString& expected) const { return folder_.location({QDir::cleanPath(expected)}); }

std::optional<OpenFile::Identity> HeldFolder::identity() const { return folder_.identity(); }

QString HeldFolder::throughDescriptor() const { return folder_.throughDescriptor(); }

QString HeldFolder::moved(const QString& path, const QString& from, const QString& to)
{
    const QFileInfo file(path);
    if (path.isEmpty() || QDir::cleanPath(file.absolutePath()) != QDir::cleanPath(QFileInfo(from).absoluteFilePath()))
        return path;
    return QDir(to).filePath(file.fileName());
}
