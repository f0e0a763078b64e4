#include "platform/system/RegularFile.h"

#include "platform/system/OpenFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

namespace {

bool isMissing(int error) { return error == ENOENT || error == ENOTDIR; }

// The regular file at `path`, opened for reading, and what it was when opened.
struct Opened {
    OpenFile file;
    struct stat status {};
};

std::variant<Opened, Refusal> openRegular(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    Opened opened;
    // Looked at before opening too: opening some devices does something of its own.
    if (::stat(name.constData(), &opened.status) != 0)
        return isMissing(errno) ? Refusal::missing : Refusal::unreadable;
    if (!S_ISREG(opened.status.st_mode))
        return Refusal::notRegularFile;
    // O_NONBLOCK: a FIFO swapped in since the look opens at once instead of waiting for a writer.
    opened.file = OpenFile::adopt(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (opened.file.descriptor() < 0)
        return isMissing(errno) ? Refusal::missing : Refusal::unreadable;
    if (::fstat(opened.file.descriptor(), &opened.status) != 0)
        return Refusal::unreadable;
    if (!S_ISREG(opened.status.st_mode))
        return Refusal::notRegularFile;
    return opened;
}

// Fills `into` from the descriptor up to its size, or to the file's end; how much, or -1 when reading fails.
qsizetype fill(int descriptor, char* into, qsizetype size)
{
    qsizetype filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(descriptor, into + filled, static_cast<size_t>(size - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += got;
    }
    return filled;
}

} // namespace

std::variant<Contents, Refusal> read(const QString& path, qint64 maximumBytes)
{
    auto found = openRegular(path);
    if (const Refusal* refusal = std::get_if<Refusal>(&found))
        return *refusal;
    const Opened& opened = std::get<Opened>(found);
    if (opened.status.st_size > maximumBytes)
        return Refusal::tooLarge;
    Contents contents;
    contents.modified = QDateTime::fromMSecsSinceEpoch(
        static_cast<qint64>(opened.status.st_mtim.tv_sec) * 1000 + opened.status.st_mtim.tv_nsec / 1000000, Qt::UTC);
    // The file may grow between the look and the read: never take more than one byte past the bound.
    contents.bytes.resize(static_cast<qsizetype>(std::min<qint64>(opened.status.st_size, maximumBytes) + 1));
    const qsizetype filled = fill(opened.file.descriptor(), contents.bytes.data(), contents.bytes.size());
    if (filled < 0)
        return Refusal::unreadable;
    if (filled > maximumBytes)
        return Refusal::tooLarge;
    contents.bytes.truncate(filled);
    return contents;
}

bool holdsExactly(const QString& path, const QByteArray& bytes)
{
    auto found = openRegular(path);
    const Opened* opened = std::get_if<Opened>(&found);
    if (!opened || opened->status.st_size != bytes.size())
        return false;
    const int descriptor = opened->file.descriptor();
    constexpr qsizetype chunkBytes = 1024 * 1024;
    QByteArray chunk(std::clamp<qsizetype>(bytes.size(), 1, chunkBytes), Qt::Uninitialized);
    for (qsizetype at = 0; at < bytes.size(); at += chunk.size()) {
        const qsizetype size = std::min(chunk.size(), bytes.size() - at);
        if (fill(descriptor, chunk.data(), size) != size || std::memcmp(chunk.constData(), bytes.constData() + at, static_cast<size_t>(size)) != 0)
            return false;
    }
    // Nothing past them: a file grown since the look does not hold the same.
    char past = 0;
    return fill(descriptor, &past, 1) == 0;
}

std::optional<QByteArray> digest(const QString& path)
{
    auto found = openRegular(path);
    const Opened* opened = std::get_if<Opened>(&found);
    if (!opened)
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qsizetype filled = fill(opened->file.descriptor(), chunk.data(), chunk.size());
        if (filled < 0)
            return std::nullopt;
        hash.addData(QByteArrayView(chunk.constData(), filled));
        if (filled < chunk.size())
            return hash.result();
    }
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
