#pragma once

#include "takedata/RecordingChannel.h"
#include "platform/system/ErrorInfo.h"
#include "takedata/NextTake.h"
#include "shortexport/ShortExportRequest.h"
#include "shorts/ShortFraming.h"

#include <QDateTime>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <variant>

#include <qcorotask.h>

// The finish of a short take: the crop in pixels of raw.mov, the "crop.json" sidecar beside it, and the
// 1080x1920 "short.mov".
namespace ShortTake {

// What the take flow knows about the take when it stops.
struct Settings {
    ShortFraming::Position filePosition; // cuts raw.mov
    ShortFraming::Position previewPosition; // as the user placed it in the (maybe mirrored) preview
    bool fileMirrored = false;
    bool previewMirrored = false;
    double rotation = 0; // degrees
    QString camera;
    std::optional<NextTake> script;
    std::optional<ShortFraming::MeasuredFraming> framing;
    RecordingChannel channel = RecordingChannel::ai;
    double tailTrim = 0; // seconds the remote button's reach added at the end
    // When the take stopped, for "crop.json"; unset means now.
    QDateTime recordedAt;
};

struct Result {
    QString shortURL;
    QRectF crop; // pixels of raw.mov, top-left origin
    QSizeF feed;
    double duration = 0; // seconds of the short
    // Said with the finished short when it holds less than the take: "Finished the first 0:12 of 0:20 — ...",
    // and when its sound stops before its picture: "The sound stops at 0:05 of 0:20 — ...".
    std::optional<QString> note;
};

using Outcome = std::variant<Result, ErrorInfo>;

// The trim really applied: only when more than 3 s of the take would remain.
double effectiveTailTrim(double tailTrim, double rawDuration);

// Blocking; any thread. A raw whose frame cannot be measured fails before anything is written. A crop that
// cannot be cut fails after "crop.json" records it and before "short.mov" is touched, so an earlier short stays
// as it was; a sidecar that cannot be written is logged and the export goes ahead.
Outcome finishNow(const QString& folder, const QString& rawURL, const Settings& settings, const ShortExport::Options& options = {});
// The same once the raw's frame size is known: the sidecar is written with whatever crop that size gives (the
// zero crop under 2 x 2), then the export runs and refuses a crop that cannot be cut.
Outcome finishMeasured(const QString& folder, const QString& rawURL, QSizeF feed, const Settings& settings, const ShortExport::Options& options = {});

// The same on a worker thread, resuming the awaiting coroutine on its own thread.
QCoro::Task<Outcome> finish(QString folder, QString rawURL, Settings settings, ShortExport::Options options = {});

} // namespace ShortTake
