#include "takedata/HandoffFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HandoffFile {

namespace {

// One open file descriptor, closed when it goes.
class OpenFile {
public:
    explicit OpenFile(int descriptor) : descriptor_(descriptor) {}
    ~OpenFile()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

} // namespace

std::variant<Contents, Refusal> read(const QString& path, qint64 maximumBytes)
{
    // O_NONBLOCK: opening a FIFO nobody writes to returns at once instead of waiting for a writer.
    const OpenFile file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? Refusal::missing : Refusal::unreadable;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        return Refusal::unreadable;
    if (!S_ISREG(status.st_mode))
        return Refusal::notRegularFile;
    if (status.st_size > maximumBytes)
        return Refusal::tooLarge;
    Contents contents;
    contents.modified = QDateTime::fromMSecsSinceEpoch(
        static_cast<qint64>(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000, Qt::UTC);
    // The file may grow between the stat and the read: never take more than the bound.
    contents.bytes.resize(static_cast<qsizetype>(std::min<qint64>(status.st_size, maximumBytes) + 1));
    qsizetype filled = 0;
    while (filled < contents.bytes.size()) {
        const ssize_t got = ::read(file.get(), contents.bytes.data() + filled, static_cast<size_t>(contents.bytes.size() - filled));
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
    case Refusal::missing: return QStringLiteral(", no such file");
    case Refusal::notRegularFile: return QStringLiteral(", not a regular file");
    case Refusal::tooLarge:
        return maximumBytes >= 1024 * 1024 ? QStringLiteral(", larger than %1 MiB").arg(maximumBytes / (1024 * 1024))
                                           : QStringLiteral(", larger than %1 bytes").arg(maximumBytes);
    case Refusal::unreadable: return QStringLiteral(", not readable");
    }
    return {};
}

std::optional<Record> readObject(const QString& path, qint64 maximumBytes, QString* complaint)
{
    const auto ignore = [&](const QString& reason) -> std::optional<Record> {
        if (complaint)
            *complaint = ignoring(path, reason);
        return std::nullopt;
    };
    const auto contents = read(path, maximumBytes);
    if (const auto* refusal = std::get_if<Refusal>(&contents))
        return *refusal == Refusal::missing ? std::nullopt : ignore(refusalText(*refusal, maximumBytes));
    const Contents& file = std::get<Contents>(contents);
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes);
    if (!document.isObject())
        return ignore(QStringLiteral(", not a JSON object"));
    return Record{document.object(), file.modified};
}

std::optional<Written> freshWritten(const Record& record, const QDateTime& now, qint64 staleAfterSeconds)
{
    Written written{keyText(record.object, "written_at"), {}};
    if (!written.text.isEmpty())
        written.at = parseInternetDate(written.text);
    if (!written.at.isValid())
        written.at = record.modified;
    if (!written.at.isValid() || written.at.msecsTo(now) >= staleAfterSeconds * 1000)
        return std::nullopt;
    return written;
}

QString keyText(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 9.0e15)
            return QString::number(static_cast<qint64>(number));
        return QString::number(number, 'g', QLocale::FloatingPointShortest);
    }
    return {};
}

QDateTime parseInternetDate(const QString& text)
{
    // ASCII digits only: \d would also take other scripts' digits.
    static const QRegularExpression pattern(QStringLiteral(
        R"(^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\.([0-9]+))?(Z|[+-][0-9]{2}:[0-9]{2})$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    int milliseconds = 0;
    if (match.hasCaptured(7))
        milliseconds = (match.captured(7) + QStringLiteral("00")).left(3).toInt();
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt(), milliseconds);
    if (!date.isValid() || !time.isValid())
        return {};
    const QString zone = match.captured(8);
    int offsetSeconds = 0;
    if (zone != QLatin1String("Z")) {
        const int hours = zone.mid(1, 2).toInt();
        const int minutes = zone.mid(4, 2).toInt();
        if (hours > 23 || minutes > 59)
            return {};
        offsetSeconds = (hours * 60 + minutes) * 60 * (zone.startsWith(QLatin1Char('-')) ? -1 : 1);
    }
    return QDateTime(date, time, QTimeZone(offsetSeconds)).toUTC();
}

QString printable(const QString& path)
{
    QString shown = path.left(300);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return path.size() > 300 ? shown + QStringLiteral("…") : shown;
}

QString ignoring(const QString& path, const QString& reason) { return QStringLiteral("handoff: ignoring ") + printable(path) + reason; }

} // namespace HandoffFile
