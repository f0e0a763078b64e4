#include "shorts/ShortPreviewPresenter.h"

#include "shorts/ShortFraming.h"
#include "takedata/ClockText.h"

#include <algorithm>
#include <cmath>

namespace ShortPreviewPresenter {

QString timerText(double seconds) { return ClockText::format(seconds, ClockText::Form::minutesOfTheHour); }

TimerTone timerTone(bool recording, double seconds)
{
    if (!recording)
        return TimerTone::dim;
    if (seconds >= 60)
        return TimerTone::red;
    return seconds >= 40 ? TimerTone::orange : TimerTone::white;
}

QString scriptTitle(const NextTake& script)
{
    return script.title.isEmpty() ? script.scriptID : script.scriptID + QStringLiteral(" · ") + script.title;
}

bool canCentre(const QSizeF& frameSize)
{
    if (!(frameSize.width() >= 2) || !(frameSize.height() >= 2))
        return false;
    const QRectF centred = ShortFraming::cropRect(frameSize, ShortFraming::Position {});
    return std::max(frameSize.width() - centred.width(), 0.0) >= 2 || std::max(frameSize.height() - centred.height(), 0.0) >= 2;
}

QString channelHelp(RecordingChannel channel)
{
    switch (channel) {
    case RecordingChannel::ai: return QStringLiteral("AI channel take → Shorts/");
    case RecordingChannel::dorvelTalk: return QStringLiteral("Dorvel Talk take → PROJECTS/DORVEL-TALK/tiktok/");
    case RecordingChannel::branchline: return QStringLiteral("Branchline take → PROJECTS/BRANCHLINE/shorts/");
    case RecordingChannel::inkwell: return QStringLiteral("Inkwell Hour take → PROJECTS/INKWELL-CHANNEL/shorts/");
    }
    return {};
}

Shown present(const State& state)
{
    const bool recording = state.phase.kind() == RecordingPhase::Kind::recording || state.phase.kind() == RecordingPhase::Kind::paused;
    const double elapsed = recording ? state.elapsed : 0;
    const bool flipViewer = state.mirrorCamera != state.shortMirrorFile;
    Shown shown;
    shown.timerText = timerText(elapsed);
    shown.timerTone = timerTone(recording, elapsed);
    shown.locked = state.phase.isBusy();
    shown.lockText = shown.locked ? QStringLiteral("Locked for this take") : QStringLiteral("Drag the frame to place it");
    if (state.script)
        shown.scriptTitle = scriptTitle(*state.script);
    shown.centreEnabled = !shown.locked && canCentre(state.frameSize);
    shown.clearScriptEnabled = !shown.locked;
    shown.replayEnabled = !recording && state.canReplay;
    shown.stagePosition = state.position;
    if (state.viewerView && flipViewer) {
        shown.stagePosition.x = 1 - state.position.x;
        shown.stageWritesPosition = false;
    }
    shown.eyeLineFlipped = !state.viewerView && flipViewer;
    shown.frameText = ShortFraming::describe(state.frameSize);
    return shown;
}

} // namespace ShortPreviewPresenter
