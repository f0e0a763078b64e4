#pragma once

#include "framing/ShortCrop.h"
#include "takedata/NextTake.h"
#include "takedata/RecordingChannel.h"
#include "takedata/RecordingPhase.h"

#include <QSizeF>
#include <QString>

#include <optional>

// The rules of the "Short frame" window, as plain values in and out: what the header, script row, stage and
// bottom row show for the controller's state. The window only draws them.
namespace ShortPreviewPresenter {

// What the window reads from the controller and the view choice.
struct State {
    RecordingPhase phase;
    double elapsed = 0; // seconds of the running take
    QSizeF frameSize;   // camera frame size in pixels; a side below 2 = not known yet
    ShortFraming::Position position;
    bool viewerView = false;
    bool mirrorCamera = false;
    bool shortMirrorFile = false;
    std::optional<NextTake> script; // the take's (or the pending) handoff script
    bool canReplay = false;         // a last short is known
};

enum class TimerTone { dim, white, orange, red };

struct Shown {
    QString timerText;
    TimerTone timerTone = TimerTone::dim;
    bool locked = false;
    QString lockText;
    std::optional<QString> scriptTitle; // the script row, when there is one
    bool centreEnabled = false;
    bool clearScriptEnabled = false;
    bool replayEnabled = false;
    // The position the stage draws; in the viewer view of a flipped file it mirrors the crop and never writes it.
    ShortFraming::Position stagePosition;
    bool stageWritesPosition = true;
    // The framing monitor analyses the file's picture; when the stage shows it mirrored the other way, the
    // measured eye line is drawn mirrored back onto the eyes.
    bool eyeLineFlipped = false;
    QString frameText; // the bottom row's description of the feed
};

Shown present(const State& state);

// "mm:ss" of whole seconds; anything below zero or not a number shows "00:00".
QString timerText(double seconds);
TimerTone timerTone(bool recording, double seconds);
// "s12 · Morning light", or the ID alone for an empty title.
QString scriptTitle(const NextTake& script);
// Nothing to centre when the centred crop leaves under 2 pixels of travel both ways.
bool canCentre(const QSizeF& frameSize);
// The help text of the header's channel chip: where the channel's short is saved.
QString channelHelp(RecordingChannel channel);

} // namespace ShortPreviewPresenter
