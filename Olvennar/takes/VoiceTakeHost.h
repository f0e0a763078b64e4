#pragma once

#include "takedata/CaptureDeviceInfo.h"
#include "takedata/RecordingChannel.h"
#include "takes/TakeHost.h"

#include <QRect>
#include <QString>

#include <optional>

// The studio's settings a voice take starts with.
struct VoiceTakeSettings {
    // The selected microphone, else the first listed; nothing when none is listed. Read after the device
    // lists were refreshed.
    std::optional<CaptureDeviceInfo> microphone;
    RecordingChannel channel = RecordingChannel::ai;
    // The screen the countdown runs on; nothing skips the countdown.
    std::optional<QRect> countdownFrame;
};

// What a voice take reaches beyond every take's host: the microphone and channel it records with, its own
// refusal sentence for microphone access, the finished file and the failure sound.
class VoiceTakeHost : public TakeHost {
public:
    virtual VoiceTakeSettings voiceTakeSettings() = 0;
    // Asks for the microphone; a refusal shows `refusedSentence` and logs `area` + " start aborted: …".
    virtual QCoro::Task<bool> requestMicrophone(const QString& refusedSentence, const QString& area) = 0;
    // Whether the desk camera may film; a refusal is no failure.
    virtual QCoro::Task<bool> cameraAllowed() = 0;
    virtual void setLastFinalURL(const std::optional<QString>& path) = 0;
    virtual void showFinishedFile(const QString& path) = 0;
    virtual void playSound(const QString& name) = 0;
};
