#pragma once

#include "takes/TakeFolder.h"
#include "takes/TakeLook.h"
#include "takes/TakeStart.h"

#include <QSizeF>
#include <QString>

#include <optional>

class FinishQueue;
struct OverlayPanels;
struct SaveJobHandover;

// The steps of a take the studio shows; failures carry their sentence through fail().
enum class TakeStep { preparing, recording, paused, finishing, idle };

// How a take ended, for the studio to show and tidy up after it.
struct TakeEnd {
    // The finished file (the phase shows it; it becomes the last finished file), with what it lacks when it
    // holds less than the take.
    std::optional<QString> file{};
    QString note{};
    // A finished short's vertical movie.
    std::optional<QString> shortFile{};
    // The take failed with this sentence; `keptFile` is what of it stays (then the last finished file).
    std::optional<QString> failure{};
    std::optional<QString> keptFile{};
    // The take's folder. When something of the take was kept (`kept`, or a finished file) a project folder
    // the take made becomes where the next take goes (unless `projectFolder` is off); otherwise a folder the
    // take made goes again when nothing of content is in it.
    std::optional<TakeFolder> folder{};
    bool kept = false;
    bool projectFolder = true;
    // The failure sound; `front` also beeps and brings the studio forward.
    enum class Alarm { none, sound, front };
    Alarm alarm = Alarm::none;
};

// What every take kind reaches in the studio that runs it. The studio runs the steps all kinds share (start
// guard, access, countdown, take folder, phases, ticker, discard); a take reports its phases and its end here.
// A failure or the finishing step also stops the elapsed ticker. Called on the main thread.
class TakeHost {
public:
    virtual ~TakeHost() = default;

    virtual void enter(TakeStep step) = 0;
    virtual void fail(const QString& sentence) = 0;
    // Something the user should know about a take that was kept (frames lost on a busy machine): shown as
    // information until the next take starts, never as a failure.
    virtual void inform(const QString& sentence) = 0;
    // Recording or paused, as published.
    virtual bool rolling() const = 0;
    // A device the take opened for its start failed while the numbers ran: they end at once, and the start
    // then says why as it would have at their end.
    virtual void preparedDeviceFailed() = 0;
    virtual void ended(const TakeEnd& end) = 0;
    // Lists the take's row and queues its save; returns at once.
    virtual void handOver(const SaveJobHandover& job) = 0;
    // The look as it stands now (a stop finishes with it).
    virtual const TakeLook& look() const = 0;
    // The floating panels: where they stand now scaled to a movie of renderSize pixels, and re-placing them.
    virtual OverlayPanels measurePanels(QSizeF renderSize) const = 0;
    virtual void applyBubbleLayout(bool reanchor) = 0;
    // The panels match their switches again after a take.
    virtual void settleOverlayWindows() = 0;
    // Where a stopped take's finishing runs; listed work gets a row and a Retry, noted work a resume after a crash.
    virtual FinishQueue& finishQueue() = 0;
};
