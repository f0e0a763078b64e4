#include "platform/system/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {

QString hiddenSibling(const QString& targetPath, const QString& purpose)
{
    const QFileInfo info(targetPath);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return info.dir().filePath(QLatin1Char('.') + purpose + QLatin1Char('-') + uuid + suffix);
}

bool isHiddenSibling(const QString& fileName) { return siblingPurpose(fileName).has_value(); }

std::optional<QString> siblingPurpose(const QString& fileName)
{
    // A purpose is a word, or a take's file name with its number ("zoom-2", "take-3").
    static const QRegularExpression name(
        QStringLiteral("^\\.([a-z]+(?:-[0-9]+)?)-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}(\\.[^.]+)?$"));
    const QRegularExpressionMatch match = name.match(fileName);
    return match.hasMatch() ? std::optional(match.captured(1)) : std::nullopt;
}

std::optional<QString> replace(const QString& siblingPath, const QString& targetPath)
{
    const QByteArray from = QFile::encodeName(siblingPath);
    const QByteArray to = QFile::encodeName(targetPath);
    if (::rename(from.constData(), to.constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const QByteArray dir = QFile::encodeName(QFileInfo(targetPath).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return std::nullopt;
}

namespace {

// Whether the open file holds exactly `bytes`, read back before it replaces anything: a write a full disk
// cut short must never stand in for a good file, whatever the calls before said.
std::optional<QString> readsBack(int fd, const QByteArray& bytes)
{
    const QString broken = QStringLiteral("the file did not read back as written");
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (info.st_size != bytes.size())
        return broken;
    char buffer[64 * 1024];
    for (qsizetype offset = 0; offset < bytes.size();) {
        const ssize_t n = ::pread(fd, buffer, static_cast<size_t>(std::min<qsizetype>(sizeof buffer, bytes.size() - offset)), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QString::fromLocal8Bit(std::strerror(errno));
        if (n == 0 || std::memcmp(buffer, bytes.constData() + offset, static_cast<size_t>(n)) != 0)
            return broken;
        offset += n;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> write(const QString& targetPath, const QByteArray& bytes, const QString& purpose)
{
    const QString sibling = hiddenSibling(targetPath, purpose);
    const QByteArray name = QFile::encodeName(sibling);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    std::optional<QString> failure;
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failure = QString::fromLocal8Bit(std::strerror(errno));
            break;
        }
        data += n;
        left -= n;
    }
    if (!failure && ::fsync(fd) != 0)
        failure = QString::fromLocal8Bit(std::strerror(errno));
    if (!failure)
        failure = readsBack(fd, bytes);
    if (::close(fd) != 0 && !failure)
        failure = QString::fromLocal8Bit(std::strerror(errno));
    if (!failure)
        failure = replace(sibling, targetPath);
    if (failure)
        ::unlink(name.constData());
    return failure;
}

} // namespace AtomicFile
