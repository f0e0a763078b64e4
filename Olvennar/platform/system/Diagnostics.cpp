#include "platform/system/Diagnostics.h"

#include "platform/system/DispatchQueue.h"
#include "platform/system/Edition.h"
#include "platform/system/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex pathLock;
QString overridePath;

DispatchQueue& logQueue()
{
    static DispatchQueue queue("com.quorrel.festrin.log");
    return queue;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    ssize_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

// Log queue only: whether standard error was already told why the log file is not written.
bool fallbackAnnounced = false;

void appendLine(const QString& path, const QByteArray& bytes)
{
    // Create the folder when missing and always append: an existing log is never rewritten.
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const int code = errno;
    if (fd >= 0) {
        const bool written = writeAll(fd, bytes);
        const int writeCode = errno;
        ::close(fd);
        if (written)
            return;
        errno = writeCode;
    } else {
        errno = code;
    }
    // A lost log line hides what went wrong: say once why, then keep the lines on standard error.
    if (!fallbackAnnounced) {
        fallbackAnnounced = true;
        const QString why = Edition::appName() + QStringLiteral(": cannot write the log ") + path + QStringLiteral(" (")
            + QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral("); logging to standard error\n");
        writeAll(STDERR_FILENO, why.toLocal8Bit());
    }
    writeAll(STDERR_FILENO, bytes);
}

} // namespace

namespace Diagnostics {

QString logPath()
{
    {
        std::lock_guard guard(pathLock);
        if (!overridePath.isEmpty())
            return overridePath;
    }
    return QDir(Paths::stateFolder()).filePath(Edition::appName() + QStringLiteral(".log"));
}

QString formatLine(const QDateTime& time, const QString& message)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral("  ") + message + QLatin1Char('\n');
}

void log(const QString& message)
{
    const QByteArray bytes = formatLine(QDateTime::currentDateTime(), message).toUtf8();
    const QString path = logPath();
    logQueue().async([path, bytes] { appendLine(path, bytes); });
}

QString errorLine(const ErrorInfo& error, const QString& context)
{
    return QStringLiteral("ERROR [") + context + QStringLiteral("] ") + error.description + QStringLiteral(" (domain: ")
        + error.domain + QStringLiteral(", code: ") + QString::number(error.code) + QLatin1Char(')');
}

void log(const ErrorInfo& error, const QString& context) { log(errorLine(error, context)); }

void flush()
{
    logQueue().sync([] {});
}

void setLogPathForTesting(const QString& path)
{
    flush();
    std::lock_guard guard(pathLock);
    overridePath = path;
}

} // namespace Diagnostics
