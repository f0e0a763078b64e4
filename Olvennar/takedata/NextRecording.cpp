#include "takedata/NextRecording.h"

#include "platform/system/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace {

// A value's text: a string unchanged, a number (a JSON bool counts as one) as its decimal text, else "".
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

NextRecording::Style styleFromText(const QString& text)
{
    const QString word = text.toLower();
    if (word == QLatin1String("cues"))
        return NextRecording::Style::cues;
    if (word == QLatin1String("mixed"))
        return NextRecording::Style::mixed;
    return NextRecording::Style::script;
}

} // namespace

namespace NextRecordingText {

QDateTime parseInternetDate(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d+))?(Z|[+-]\d{2}:\d{2})$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    int milliseconds = 0;
    if (match.hasCaptured(7)) {
        const QString fraction = (match.captured(7) + QStringLiteral("00")).left(3);
        milliseconds = fraction.toInt();
    }
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

} // namespace NextRecordingText

std::optional<NextRecording> NextRecording::load(const QString& path, const QDateTime& now, QString* ignoredBecause)
{
    const auto ignore = [ignoredBecause](const QString& reason) -> std::optional<NextRecording> {
        if (ignoredBecause)
            *ignoredBecause = reason;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A handoff is a few hundred bytes; never pull a huge file into memory every poll.
    if (file.size() > maximumFileBytes)
        return ignore(QStringLiteral("handoff: ignoring ") + path + QStringLiteral(", larger than 1 MiB"));
    const QByteArray bytes = file.read(maximumFileBytes + 1);
    if (bytes.size() > maximumFileBytes)
        return ignore(QStringLiteral("handoff: ignoring ") + path + QStringLiteral(", larger than 1 MiB"));
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const QString schema = keyText(object, "schema");
    if (!schema.isEmpty() && !schema.startsWith(QLatin1String("dorvel-next-recording/")))
        return std::nullopt;

    const QString folderText = keyText(object, "video_folder").trimmed();
    if (folderText.isEmpty())
        return std::nullopt;
    const QString folder = Paths::expandTilde(folderText);
    // A relative folder would resolve against wherever the studio happens to run.
    if (!QDir::isAbsolutePath(folder))
        return ignore(QStringLiteral("handoff: ignoring ") + path + QStringLiteral(", video_folder is not an absolute path: ") + folderText);

    NextRecording record;
    record.videoFolder = QDir::cleanPath(folder);
    record.writtenAtText = keyText(object, "written_at");
    if (!record.writtenAtText.isEmpty())
        record.writtenAt = NextRecordingText::parseInternetDate(record.writtenAtText);
    if (!record.writtenAt.isValid())
        record.writtenAt = QFileInfo(path).lastModified().toUTC();
    if (!record.writtenAt.isValid())
        return std::nullopt;
    if (record.writtenAt.msecsTo(now) >= staleAfterSeconds * 1000)
        return std::nullopt;

    record.title = keyText(object, "title");
    record.mode = keyText(object, "mode");
    record.teleprompterFile = keyText(object, "teleprompter_file");
    record.board = keyText(object, "board");
    record.videoType = keyText(object, "video_type");
    record.variant = keyText(object, "variant");
    record.style = styleFromText(keyText(object, "style"));
    record.channel = RecordingChannels::fromHandoffValue(keyText(object, "channel"));
    return record;
}

std::optional<CaptureMode> NextRecording::captureMode() const
{
    const QString word = mode.toLower();
    if (word == QLatin1String("just_me") || word == QLatin1String("just me") || word == QLatin1String("camera_only"))
        return CaptureMode::cameraOnly;
    if (word == QLatin1String("screen"))
        return CaptureMode::screen;
    if (word == QLatin1String("voice") || word == QLatin1String("voice_only") || word == QLatin1String("voiceover"))
        return CaptureMode::voice;
    return std::nullopt;
}

bool NextRecording::opensFollowPrompter() const
{
    if (teleprompterFile.trimmed().isEmpty())
        return false;
    if (videoType.isEmpty())
        return captureMode() == CaptureMode::screen;
    const QString type = videoType.toLower();
    if (type != QLatin1String("screen_demo") && type != QLatin1String("board_and_apps"))
        return false;
    return variant.toLower() != QLatin1String("free");
}

QString NextRecording::token() const { return videoFolder + QLatin1Char('|') + writtenAtText; }
