#pragma once

#include "takedata/CaptureMode.h"
#include "takedata/RecordingChannel.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The long-form handoff ".next_recording.json" that a companion planning tool drops into the recordings
// root: which project folder to film next, in which mode, with which script.
struct NextRecording {
    // Script style of the teleprompter file.
    enum class Style { script, cues, mixed };

    static constexpr qint64 staleAfterSeconds = 21600; // 6 h
    static constexpr qint64 maximumFileBytes = 1024 * 1024;

    QString videoFolder; // absolute, "~" expanded
    QString title;
    QString mode;
    Style style = Style::script;
    QString teleprompterFile;
    QString board;
    QString writtenAtText; // as written, "" when absent
    QDateTime writtenAt;
    RecordingChannel channel = RecordingChannel::ai;
    QString videoType;
    QString variant;

    // Nothing when the file is missing, not a regular file, unreadable, larger than 1 MiB, not a JSON
    // object, of a foreign schema, without an absolute video folder (or with control characters in it),
    // without any date, or 6 h old or more. Opens without blocking. When `ignoredBecause` is given it
    // receives a sentence for the cases worth a log line. Where the folder may lie is the caller's check.
    static std::optional<NextRecording> load(const QString& path, const QDateTime& now, QString* ignoredBecause = nullptr);

    // The capture mode `mode` names; no text names the short mode.
    std::optional<CaptureMode> captureMode() const;
    bool opensFollowPrompter() const;
    // The identity the controller remembers: video folder + "|" + written-at text.
    QString token() const;

    friend bool operator==(const NextRecording&, const NextRecording&) = default;
};
