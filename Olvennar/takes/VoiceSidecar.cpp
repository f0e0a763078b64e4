#include "takes/VoiceSidecar.h"

#include "platform/system/JsonSidecar.h"
#include "platform/system/Diagnostics.h"

#include <QFileInfo>

namespace VoiceSidecar {

QJsonObject object(const Facts& facts)
{
    QJsonObject record;
    record.insert(QStringLiteral("voice_track"), true);
    record.insert(QStringLiteral("mode"), QStringLiteral("voice"));
    record.insert(QStringLiteral("script_id"), facts.script ? facts.script->scriptID : QString());
    record.insert(QStringLiteral("channel"), RecordingChannels::rawText(facts.script ? facts.script->channel : facts.channel));
    record.insert(QStringLiteral("script_written_at"), facts.script ? facts.script->writtenAtText : QString());
    record.insert(QStringLiteral("recordedAt"), facts.startedAt.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z'));
    record.insert(QStringLiteral("microphone"), facts.microphone);
    record.insert(QStringLiteral("stoppedBy"), facts.byRemote ? QStringLiteral("remote-button") : QStringLiteral("app"));
    record.insert(QStringLiteral("tailTrimmedSeconds"), facts.tailTrimmedSeconds);
    record.insert(QStringLiteral("file"), QFileInfo(facts.audioPath).fileName());
    record.insert(QStringLiteral("source"), QStringLiteral("telmira-voice"));
    if (facts.durationSeconds)
        record.insert(QStringLiteral("durationSeconds"), *facts.durationSeconds);
    if (facts.longFormFolder) {
        record.insert(QStringLiteral("long_form"), true);
        record.insert(QStringLiteral("video_folder"), QFileInfo(*facts.longFormFolder).fileName());
    }
    return record;
}

void write(const QString& path, const Facts& facts)
{
    if (const auto failure = JsonSidecar::write(path, object(facts), QStringLiteral("voice")))
        Diagnostics::log(ErrorInfo{QStringLiteral("File"), 0, *failure}, QStringLiteral("write ") + QFileInfo(path).fileName());
}

} // namespace VoiceSidecar
