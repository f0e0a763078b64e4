#include "platform/system/OpenFile.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

OpenFile::Identity identityOf(const struct stat& info)
{
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), static_cast<uint64_t>(info.st_nlink)};
}

std::optional<OpenFile::Identity> identityAt(const QString& path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

// The name the kernel keeps for a descriptor; it follows renames (a deleted file's name ends in " (deleted)").
QString kernelName(const OpenFile& file)
{
    const QByteArray link = QFile::encodeName(file.throughDescriptor());
    char name[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), name, sizeof name);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof name)
        return {};
    return QFile::decodeName(QByteArray(name, static_cast<qsizetype>(length)));
}

} // namespace

OpenFile::~OpenFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

std::variant<OpenFile, QString> OpenFile::open(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errnoText();
    return OpenFile(fd);
}

std::optional<QString> OpenFile::sync() const
{
    if (fd_ < 0)
        return QStringLiteral("the file is not open");
    if (::fsync(fd_) != 0)
        return errnoText();
    return std::nullopt;
}

std::optional<OpenFile::Identity> OpenFile::identity() const
{
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

QString OpenFile::throughDescriptor() const { return QStringLiteral("/proc/self/fd/") + QString::number(fd_); }

std::optional<QString> OpenFile::location(const QStringList& expected) const
{
    const std::optional<Identity> file = identity();
    if (!file)
        return std::nullopt;
    std::vector<Candidate> candidates;
    for (const QString& path : expected)
        candidates.emplace_back(path, identityAt(path));
    if (const QString name = kernelName(*this); !name.isEmpty())
        candidates.emplace_back(name, identityAt(name));
    return firstNaming(*file, candidates);
}

std::optional<QString> OpenFile::firstNaming(const Identity& file, const std::vector<Candidate>& candidates)
{
    if (file.links == 0)
        return std::nullopt;
    for (const auto& [path, identity] : candidates) {
        if (identity && identity->sameFileAs(file))
            return path;
    }
    return std::nullopt;
}
