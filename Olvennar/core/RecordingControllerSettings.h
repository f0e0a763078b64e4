#pragma once

#include "takedata/CaptureDeviceInfo.h"
#include "platform/system/Permissions.h"
#include "takedata/RecordingChannel.h"
#include "core/RecordingQuality.h"
#include "takedata/BubbleShape.h"
#include "platform/x11/ScreenDisplay.h"

#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The controller's published settings, one group per section of the window. Defaults are a first launch's.

// What a screen take films and hears.
struct ScreenAndSound {
    std::vector<DisplayInfo> displays;
    std::optional<quint32> selectedDisplayID;
    bool captureMicrophone = true;
    bool captureSystemAudio = true;
    std::vector<CaptureDeviceInfo> microphones;
    std::optional<QString> selectedMicrophoneID;
    ScreenQuality quality = ScreenQuality::native;
};

struct AccessState {
    bool hasScreenPermission = true;
    Permissions::State micPermission = Permissions::State::notAsked;
    Permissions::State cameraPermission = Permissions::State::notAsked;
};

// Where the next take goes.
struct DestinationState {
    // The folder (or new project) the next take writes to, "~" for the home folder, with its take number.
    QString destinationName;
    std::optional<QString> lastFinalURL;
    std::optional<QString> destinationFolder;
    RecordingChannel channel = RecordingChannel::ai;
    RecordingChannel shortTakeChannel = RecordingChannel::ai;
    QStringList existingFolders;
};

// The countdown, the teleprompter panel and the framing pill.
struct PanelSwitches {
    int countdownSeconds = 3;
    bool teleprompterVisible = false;
    bool framingHintsOnBubble = true;
};

// The short mode's crop and guides.
struct ShortSettings {
    // The normalized centre of the 9:16 crop of a short, each 0...1.
    struct Position {
        double x = 0.5;
        double y = 0.5;
        friend bool operator==(const Position&, const Position&) = default;
    };
    Position shortPosition;
    bool shortSafeZones = true;
    bool shortFramingGuide = true;
    bool shortMirrorFile = false;
    QSizeF shortFrameSize;
    std::optional<QString> lastShortURL;
};
