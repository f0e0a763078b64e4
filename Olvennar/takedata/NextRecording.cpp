#include "takedata/NextRecording.h"

#include "platform/system/Paths.h"
#include "takedata/HandoffFile.h"

#include <QDir>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

namespace {

using HandoffFile::keyText;

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


std::optional<NextRecording> NextRecording::load(const QString& path, const QDateTime& now, QString* ignoredBecause)
{
    const auto ignore = [ignoredBecause](const QString& reason) -> std::optional<NextRecording> {
        if (ignoredBecause)
            *ignoredBecause = reason;
        return std::nullopt;
    };
    const auto file = HandoffFile::readObject(path, maximumFileBytes, ignoredBecause);
    if (!file)
        return std::nullopt;
    const QJsonObject& object = file->object;

    const QString schema = keyText(object, "schema");
    if (!schema.isEmpty() && !schema.startsWith(QLatin1String("dorvel-next-recording/")))
        return std::nullopt;

    const QString folderText = keyText(object, "video_folder").trimmed();
    if (folderText.isEmpty())
        return std::nullopt;
    // A NUL or a line break in a folder name is never a real project; such a path is a trap.
    if (std::any_of(folderText.begin(), folderText.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return ignore(HandoffFile::ignoring(path, QStringLiteral(", video_folder holds control characters: ") + HandoffFile::printable(folderText)));
    const QString folder = Paths::expandTilde(folderText);
    // A relative folder would resolve against wherever the studio happens to run.
    if (!QDir::isAbsolutePath(folder))
        return ignore(HandoffFile::ignoring(path, QStringLiteral(", video_folder is not an absolute path: ") + HandoffFile::printable(folderText)));

    NextRecording record;
    record.videoFolder = QDir::cleanPath(folder);
    const auto written = HandoffFile::freshWritten(*file, now, staleAfterSeconds);
    if (!written)
        return std::nullopt;
    record.writtenAtText = written->text;
    record.writtenAt = written->at;

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
