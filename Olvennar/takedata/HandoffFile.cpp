#include "takedata/HandoffFile.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace HandoffFile {

std::optional<Record> readObject(const QString& path, qint64 maximumBytes, QString* complaint)
{
    const auto ignore = [&](const QString& reason) -> std::optional<Record> {
        if (complaint)
            *complaint = ignoring(path, reason);
        return std::nullopt;
    };
    const auto contents = read(path, maximumBytes);
    if (const auto* refusal = std::get_if<Refusal>(&contents))
        return *refusal == Refusal::missing ? std::nullopt : ignore(QStringLiteral(", ") + RegularFile::refusalText(*refusal, maximumBytes));
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
