#include "platform/system/RegularFile.h"

#include "platform/system/OpenFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

namespace {

bool isMissing(int error) { return error == ENOENT || error == ENOTDIR; }

} // namespace

std::variant<Contents, Refusal> read(const QString& path, qint64 maximumBytes)
{
    const QByteArray name = QFile::encodeName(path);
    // Looked at before opening too: opening some devices does something of its own.
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        return isMissing(errno) ? Refusal::missing : Refusal::unreadable;
    if (!S_ISREG(status.st_mode))
        return Refusal::notRegularFile;
    // O_NONBLOCK: a FIFO swapped in since the look opens at once instead of waiting for a writer.
    const OpenFile file = OpenFile::adopt(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.descriptor() < 0)
        return isMissing(errno) ? Refusal::missing : Refusal::unreadable;
    if (::fstat(file.descriptor(), &status) != 0)
        return Refusal::unreadable;
    if (!S_ISREG(status.st_mode))
        return Refusal::notRegularFile;
    if (status.st_size > maximumBytes)
        return Refusal::tooLarge;
    Contents contents;
    contents.modified = QDateTime::fromMSecsSinceEpoch(
        static_cast<qint64>(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000, Qt::UTC);
    // The file may grow between the look and the read: never take more than one byte past the bound.
    contents.bytes.resize(static_cast<qsizetype>(std::min<qint64>(status.st_size, maximumBytes) + 1));
    qsizetype filled = 0;
    while (filled < contents.bytes.size()) {
        const ssize_t got = ::read(file.descriptor(), contents.bytes.data() + filled, static_cast<size_t>(contents.bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Refusal::unreadable;
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maximumBytes)
        return Refusal::tooLarge;
    contents.bytes.truncate(filled);
    return contents;
}

QString refusalText(Refusal refusal, qint64 maximumBytes)
{
    switch (refusal) {
    case Refusal::missing: return QStringLiteral("no such file");
    case Refusal::notRegularFile: return QStringLiteral("not a regular file");
    case Refusal::tooLarge: return QStringLiteral("larger than ") + sizeText(maximumBytes);
    case Refusal::unreadable: return QStringLiteral("not readable");
    }
    return {};
}

QString sizeText(qint64 bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024)) : QStringLiteral("%1 bytes").arg(bytes);
}

std::optional<QString> otherThanRegular(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return std::nullopt;
    return QFileInfo(path).fileName() + QStringLiteral(" is not a regular file");
}

} // namespace RegularFile
