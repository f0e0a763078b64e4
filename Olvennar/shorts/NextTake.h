#pragma once

#include "takedata/RecordingChannel.h"

#include <QDateTime>
#include <QString>

// The next short an outside script tool announced in ".next_take.json". A plain value; the short's
// "crop.json" repeats the script's identity.
struct NextTake {
    QString scriptID; // never empty, trimmed
    QString batch;
    QString title;
    QString board;
    QString writtenAtText; // "written_at" exactly as the file had it; empty when absent
    QDateTime writtenAt; // parsed from "written_at", else the file's modification time
    RecordingChannel channel = RecordingChannel::ai;
    QString shortsRoot; // folder the short's take folder is made in
    bool voiceTrack = false;

    bool operator==(const NextTake&) const = default;
};
