#include "takedata/NextTake.h"

#include "takedata/HandoffFile.h"

#include <QJsonObject>
#include <QJsonValue>


namespace {

// A JSON boolean, or the number 1 or 0; anything else (the text "true" included) is false.
bool flag(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool())
        return value.toBool();
    return value.isDouble() && value.toDouble() == 1.0;
}

bool keptInFolderName(char32_t scalar)
{
    if (scalar == U'-' || scalar == U'_')
        return true;
    switch (QChar::category(scalar)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

std::u32string trimDashes(std::u32string text)
{
    const auto first = text.find_first_not_of(U'-');
    if (first == std::u32string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(U'-') - first + 1);
}

} // namespace

std::optional<NextTake> NextTake::load(const QString& path, const QDateTime& now, const ShortsRootRule& shortsRootFor, QString* ignoredBecause)
{
    const auto record = HandoffFile::readObject(path, maximumFileBytes, ignoredBecause);
    if (!record)
        return std::nullopt;
    const QJsonObject& object = record->object;

    NextTake take;
    take.scriptID = HandoffFile::keyText(object, "script_id").trimmed();
    if (take.scriptID.isEmpty())
        return std::nullopt;
    const auto written = HandoffFile::freshWritten(*record, now, staleAfterSeconds);
    if (!written)
        return std::nullopt;
    take.writtenAtText = written->text;
    take.writtenAt = written->at;
    take.channel = RecordingChannels::fromHandoffValue(HandoffFile::keyText(object, "channel"));
    take.batch = HandoffFile::keyText(object, "batch");
    take.title = HandoffFile::keyText(object, "title");
    take.board = HandoffFile::keyText(object, "board");
    take.shortsRoot = shortsRootFor ? shortsRootFor(take.channel, HandoffFile::keyText(object, "shorts_root")) : QString();
    take.voiceTrack = flag(object, "voice_track");
    return take;
}

QString NextTake::folderComponent() const
{
    std::u32string kept;
    for (const char32_t scalar : scriptID.toStdU32String())
        kept.push_back(keptInFolderName(scalar) ? scalar : U'-');
    kept = trimDashes(std::move(kept));
    // Cut by characters, then by bytes, and trim again so the cut never ends in a dash.
    if (kept.size() > static_cast<size_t>(folderComponentCharacters))
        kept.resize(folderComponentCharacters);
    while (!kept.empty() && QString::fromStdU32String(kept).toUtf8().size() > folderComponentBytes)
        kept.pop_back();
    kept = trimDashes(std::move(kept));
    return kept.empty() ? QStringLiteral("script") : QString::fromStdU32String(kept);
}
