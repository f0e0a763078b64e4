#include "takes/HandoffReader.h"

#include "platform/system/Paths.h"
#include "takedata/HandoffFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <variant>

namespace HandoffReader {

Reading read(const Request& request)
{
    Reading reading;
    reading.take = readTake(request.takePath, request.now, request.places, &reading.takeComplaint);
    reading.recording = readRecording(request.recordingPath, request.now, request.places, &reading.recordingComplaint);
    return reading;
}

std::optional<NextTake> readTake(const QString& path, const QDateTime& now, const HandoffPlaces& places, QString* complaint)
{
    return NextTake::load(
        path, now, [&places](RecordingChannel channel, const QString& requested) { return places.shortsRoot(channel, requested); }, complaint);
}

std::optional<NextRecording> readRecording(const QString& path, const QDateTime& now, const HandoffPlaces& places, QString* complaint)
{
    auto record = NextRecording::load(path, now, complaint);
    if (!record)
        return std::nullopt;
    QString why;
    const auto folder = places.confineFolder(record->videoFolder, record->channel, &why);
    if (!folder) {
        if (complaint)
            *complaint = HandoffFile::ignoring(path, why);
        return std::nullopt;
    }
    record->videoFolder = *folder;
    return record;
}

namespace {

std::optional<QString> readScript(const QString& path)
{
    const auto read = HandoffFile::read(path, maximumScriptBytes);
    const auto* contents = std::get_if<HandoffFile::Contents>(&read);
    if (!contents)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(contents->bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

Preparation prepare(const NextRecording& record, const HandoffPlaces& places)
{
    Preparation preparation;
    // The record's folder was confined when it was read; check again, the disk may have changed since.
    QString why;
    const auto folder = places.confineFolder(record.videoFolder, record.channel, &why);
    if (!folder)
        preparation.folderError = ErrorInfo{QStringLiteral("POSIX"), EACCES, QStringLiteral("The folder lies outside the studio's folders.")};
    else if (!QDir().mkpath(*folder)) {
        const int code = QFileInfo(*folder).exists() ? ENOTDIR : EACCES;
        preparation.folderError = ErrorInfo{QStringLiteral("POSIX"), code,
            QStringLiteral("Could not create the folder ") + *folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code))};
    }
    if (record.teleprompterFile.trimmed().isEmpty())
        return preparation;
    const QString expanded = Paths::expandTilde(record.teleprompterFile);
    preparation.scriptPath = expanded.startsWith(QLatin1Char('/')) ? expanded : QDir(record.videoFolder).filePath(expanded);
    if (const auto confined = places.confineScript(preparation.scriptPath, record.channel))
        preparation.scriptText = readScript(*confined);
    return preparation;
}

} // namespace HandoffReader
