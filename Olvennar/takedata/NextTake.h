#pragma once

#include "takedata/RecordingChannel.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// The next short an outside script tool announced in ".next_take.json". A plain value; the short's
// "crop.json" repeats the script's identity.
struct NextTake {
    static constexpr qint64 staleAfterSeconds = 21600; // 6 h
    static constexpr qint64 maximumFileBytes = 1024 * 1024;
    // Longest script part of a folder name, in characters and in UTF-8 bytes, so that
    // "<date>-<script>-short-<N>" stays well inside a file name's 255 bytes.
    static constexpr int folderComponentCharacters = 80;
    static constexpr int folderComponentBytes = 160;

    // The folder a short for this channel is made in, from the handoff's "shorts_root" text ("" when absent).
    using ShortsRootRule = std::function<QString(RecordingChannel channel, const QString& requested)>;

    QString scriptID; // never empty, trimmed
    QString batch;
    QString title;
    QString board;
    QString writtenAtText; // "written_at" exactly as the file had it; empty when absent
    QDateTime writtenAt; // parsed from "written_at", else the file's modification time
    RecordingChannel channel = RecordingChannel::ai;
    QString shortsRoot; // folder the short's take folder is made in
    bool voiceTrack = false;

    // Nothing for a missing, unreadable, non-regular or oversized (over 1 MiB) file, one that is not a
    // JSON object, one without a script id, without any date, or 6 h old or more. Opens without blocking;
    // blocking reads otherwise. `ignoredBecause` receives a sentence for the cases worth a log line.
    static std::optional<NextTake> load(const QString& path, const QDateTime& now, const ShortsRootRule& shortsRootFor,
        QString* ignoredBecause = nullptr);
    // The script id as a folder name part: letters, marks, digits, "-" and "_" kept, anything else "-",
    // outer dashes trimmed, cut to the bounds above; "script" when nothing is left.
    QString folderComponent() const;
    // The identity the controller remembers: script id + "|" + written-at text.
    QString token() const { return scriptID + QLatin1Char('|') + writtenAtText; }

    bool operator==(const NextTake&) const = default;
};
