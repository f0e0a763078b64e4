#pragma once

#include "finishing/HeldPieces.h"
#include "finishing/HeldSidecars.h"
#include "plans/MixdownRequest.h"
#include "platform/system/HeldFolder.h"
#include "takedata/ClipSegment.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

// What a screen take's stop hands to the save job: the finished movie's request and the names the save
// writes, all in the take's folder with the take's suffix.
struct SaveJobHandover {
    QUuid id;
    QString title;
    Mixdown::Request request;
    std::optional<QString> faceURL;
    QString takeJSON;
    QString previewURL;
    double duration = 0;
    std::vector<ClipSegment> cameraSegments;
    QJsonObject look;
    QString stopSidecar;
    bool byRemote = false;
    QString summary;
    // The stop's sidecars the disk refused: the save and the render write them before their own files.
    HeldSidecars refusedSidecars;
    // The take's folder, held open since the take started; its paths above name it where it lay at the stop.
    std::shared_ptr<const HeldFolder> folder;
    // The take's files as the stop left them, held by what they are.
    HeldPieces pieces = {};
};
