#include "platform/system/HeldFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

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
    // The name itself, not what a link there points at.
    struct stat there {};
    const std::optional<OpenFile::Identity> held = file_.identity();
    if (path.isEmpty() || !held || ::lstat(QFile::encodeName(path).constData(), &there) != 0)
        return false;
    return held->sameFileAs({static_cast<uint64_t>(there.st_dev), static_cast<uint64_t>(there.st_ino), 0});
}

QString HeldFile::throughDescriptor() const { return file_.throughDescriptor(); }
bool HeldFile::unlinked() const
{
    const std::optional<OpenFile::Identity> held = file_.identity();
    return held && held->links == 0;
}
