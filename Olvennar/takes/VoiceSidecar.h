#pragma once

#include "takedata/NextTake.h"
#include "takedata/RecordingChannel.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The JSON sidecar of a voice take ("voice.json", "voice-2.json" …) that outside editing tools read.
namespace VoiceSidecar {

struct Facts {
    std::optional<NextTake> script;
    RecordingChannel channel = RecordingChannel::ai; // used when there is no script
    QDateTime startedAt;
    QString microphone;
    bool byRemote = false;
    double tailTrimmedSeconds = 0;
    QString audioPath;
    std::optional<double> durationSeconds;
    // A long-form take names its project folder; a short's voice track does not.
    std::optional<QString> longFormFolder;
};

QJsonObject object(const Facts& facts);
// Pretty-printed with sorted keys and swapped in whole; a failure is logged, the take goes on.
void write(const QString& path, const Facts& facts);

} // namespace VoiceSidecar
