#pragma once

#include "platform/system/ErrorInfo.h"

#include <QString>
#include <QStringList>

#include <optional>

// The outside tools of voice enhancement: ffmpeg pulls the sound out as 48 kHz WAV, the user's
// voice-polish script cleans it, ffmpeg puts it back under the untouched video. Blocking; run it off the
// GUI thread.
namespace EnhancePipeline {
inline constexpr const char* errorDomain = "AudioEnhance";

struct Tools {
    QString ffmpeg;       // empty: not found on PATH
    QString polishScript; // ~/Downloads/pravik-ai/audio/voice_polish.sh
};
Tools standardTools();

// "<folder>/<stem>.enhanced.mov" beside the source.
QString outputPath(const QString& sourcePath);

// Runs one tool to its end; an error (domain "AudioEnhance", code = exit status) carries its trimmed
// standard error, or "<path> exited <status>" when it wrote nothing.
std::optional<ErrorInfo> runProcess(const QString& program, const QStringList& arguments);

// Nothing when the script may run: a regular file owned by this user, not writable by group or others.
std::optional<QString> scriptRefusal(const QString& scriptPath);

// Extract, enhance, remux into a temporary folder; the result replaces the output only on success. The
// temporary folder is removed in every case.
std::optional<ErrorInfo> run(const Tools& tools, const QString& sourceVideo, const QString& outputVideo);
}
