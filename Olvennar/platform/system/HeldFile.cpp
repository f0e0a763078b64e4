#include "platform/system/HeldFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

OpenFile::Identity identityOf(const struct stat& info) { return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), 0}; }

} // namespace

std::shared_ptr<const HeldFile> HeldFile::hold(const QString& path)
{
    // O_PATH: holding a file reads nothing of it, needs no read permission and keeps no reader waiting.
    OpenFile file = OpenFile::adopt(::open(QFile::encodeName(path).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!file.isOpen())
        return nullptr;
    return std::make_shared<const HeldFile>(std::move(file));
}

bool HeldFile::isAt(const QString& path) const
{
    struct stat held {};
    struct stat there {};
    if (path.isEmpty() || ::fstat(file_.descriptor(), &held) != 0 || ::lstat(QFile::encodeName(path).constData(), &there) != 0)
        return false;
    return identityOf(held).sameFileAs(identityOf(there));
}
