#pragma once

#include "finishing/ClipSegment.h"
#include "finishing/FinishingTools.h"
#include "finishing/MixdownRequest.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What a screen take's stop hands to its save job: the row, the request and the files to make. A retry
// runs the same value again.
struct SaveJob {
    QUuid id;
    QString title;
    Mixdown::Request request;
    std::optional<QString> faceURL;     // the face file to make when the request has a camera movie
    QString takeJSON;                   // the take description
    std::optional<QString> previewURL;  // the finished movie the render job will write
    double duration = 0;                // take seconds, as the stop measured them
    std::vector<ClipSegment> cameraSegments;
    QJsonObject look;                   // the look when the take stopped
    QString stopSidecar;
    bool byRemote = false;
    QString summary;

    struct Outcome {
        // The face file after step one: muxed now, or left by an earlier attempt.
        std::optional<QString> facePath;
        // The face mux failed: nothing else was done.
        std::optional<ErrorInfo> failure;
    };

    // The file work of the save, in order: face file, the tail trim of a remote stop with its stop record,
    // and the take description. `now` stamps "recorded_at".
    static QCoro::Task<Outcome> saveFiles(std::shared_ptr<FinishingTools> tools, SaveJob job, std::function<QDateTime()> now);

    // The take description's "duration": what the stop measured less what the trim really cut.
    static double describedDuration(double duration, std::optional<FinishingTools::TrimResult> trim);
};
