#include "core/RecordingController.h"

#include "platform/system/Diagnostics.h"
#include "core/HotKeyCenter.h"
#include "takes/TakeControls.h"
#include "platform/audio/SoundPlayer.h"
#include "platform/x11/GlobalKeyGrabber.h"

#include <QPointer>

namespace {
constexpr uint32_t keyR = 0x72, keyP = 0x70, keyZ = 0x7a, keyX = 0x78, keyLeft = 0xff51, keyRight = 0xff53;
constexpr uint16_t command = GlobalKeyGrabber::control;
constexpr uint16_t controlOption = GlobalKeyGrabber::super | GlobalKeyGrabber::alt;
} // namespace

void RecordingController::playSound(const QString& name)
{
    if (platform_.sounds)
        platform_.sounds->play(name);
}

void RecordingController::registerHotKeys()
{
    HotKeyCenter* center = platform_.hotKeys;
    if (!center)
        return;
    QPointer<RecordingController> weak(this);
    // Each action starts its work on the main loop holding the controller weakly.
    center->registerKey({keyR, command, QString::fromLatin1(HotKeyNames::startStop)}, [weak] {
        if (!weak)
            return;
        switch (weak->phase().kind()) {
        case RecordingPhase::Kind::recording:
        case RecordingPhase::Kind::paused:
            weak->stop();
            break;
        case RecordingPhase::Kind::idle:
        case RecordingPhase::Kind::finished:
        case RecordingPhase::Kind::failed:
            if (weak->pressRacedTheTakesOwnStop()) {
                Diagnostics::log(QStringLiteral("start/stop key: the take had just stopped on its own; the press is taken as its stop"));
                break;
            }
            weak->start();
            break;
        default:
            break;
        }
    });
    center->registerKey({keyP, command, QString::fromLatin1(HotKeyNames::pause)}, [weak] {
        if (weak)
            weak->togglePause();
    });
    center->registerKey({keyZ, controlOption, QString::fromLatin1(HotKeyNames::zoomIn)}, [weak] {
        if (weak)
            weak->markZoom(true);
    });
    center->registerKey({keyX, controlOption, QString::fromLatin1(HotKeyNames::zoomOut)}, [weak] {
        if (weak)
            weak->markZoom(false);
    });
    center->registerKey({keyLeft, controlOption, QString::fromLatin1(HotKeyNames::previousBox)}, [weak] {
        if (weak && weak->platform_.teleprompter)
            weak->platform_.teleprompter->stepBox(-1);
    });
    center->registerKey({keyRight, controlOption, QString::fromLatin1(HotKeyNames::nextBox)}, [weak] {
        if (weak && weak->platform_.teleprompter)
            weak->platform_.teleprompter->stepBox(1);
    });
}

void RecordingController::markZoom(bool zoomIn)
{
    // Only a recording take of a kind with zoom marks takes marks; anything else is ignored without a line.
    if (phase().kind() != RecordingPhase::Kind::recording || !traits().zoomMarks || !platform_.zoomMarker)
        return;
    platform_.zoomMarker->addMark(zoomIn);
    setZoomMarkCount(platform_.zoomMarker->markCount());
    Diagnostics::log(QStringLiteral("zoom mark ") + (zoomIn ? QStringLiteral("in") : QStringLiteral("out")) + QStringLiteral(" (")
        + QString::number(zoomMarkCount()) + QStringLiteral(" this take)"));
}
