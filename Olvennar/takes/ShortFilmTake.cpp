#include "takes/ShortFilmTake.h"

#include "finishing/FinishQueue.h"
#include "finishing/SaveJob.h"
#include "shortexport/ShortExportWork.h"
#include "platform/system/Diagnostics.h"
#include "shorts/ShortFramingAccumulator.h"
#include "takes/CameraOnlyPreview.h"
#include "takes/ScreenStopPlan.h"

#include <QFileInfo>
#include <QPointer>

#include <utility>

#include <qcorofuture.h>

void ShortFilmTake::prepareFilming(const TakeStart& start, const CaptureDeviceInfo& camera, const std::optional<QSize>& previewDelivered)
{
    CameraOnlyRecorder& recorder = *preview_.recorder();
    preview_.framingTotals().reset();
    script_ = start.script;
    channel_ = start.channel;
    position_ = start.shortPosition;
    const ShortFraming::Position position = position_;
    ShortTake::Settings settings;
    // The crop was placed on the preview; a file mirrored the other way needs it from the other side.
    settings.filePosition = position;
    if (recorder.previewMirrored() != recorder.fileMirrored())
        settings.filePosition.x = 1 - position.x;
    settings.previewPosition = position;
    settings.fileMirrored = recorder.fileMirrored();
    settings.previewMirrored = recorder.previewMirrored();
    settings.rotation = recorder.rotationAngle();
    settings.camera = camera.localizedName;
    settings.script = script_;
    settings.channel = channel_;
    settings_ = settings;
    preview_.showShortFeed(QSizeF(recorder.frameSize()));
    const QSize feed = recorder.frameSize();
    QString line = QStringLiteral("short take: feed %1x%2, rotation %3°, position x %4 y %5, file mirrored %6, preview mirrored %7, script %8")
                       .arg(feed.width())
                       .arg(feed.height())
                       .arg(static_cast<int>(recorder.rotationAngle()))
                       .arg(position.x, 0, 'f', 3)
                       .arg(position.y, 0, 'f', 3)
                       .arg(settings.fileMirrored ? QStringLiteral("true") : QStringLiteral("false"),
                           settings.previewMirrored ? QStringLiteral("true") : QStringLiteral("false"),
                           script_ ? script_->scriptID : QStringLiteral("none"));
    if (previewDelivered && *previewDelivered != feed)
        line += QStringLiteral(" (preview delivered %1x%2)").arg(previewDelivered->width()).arg(previewDelivered->height());
    Diagnostics::log(line);
}

QString ShortFilmTake::framingText(const std::optional<ShortFraming::MeasuredFraming>& framing, int framesAnalyzed)
{
    if (!framing)
        return QStringLiteral(", framing: no face found");
    return QStringLiteral(", framing eyes %1 face %2 (%3/%4 frames)")
        .arg(framing->eyeLine, 0, 'f', 2)
        .arg(framing->faceHeight, 0, 'f', 2)
        .arg(framing->framesWithFace)
        .arg(framesAnalyzed);
}

ShortTake::Settings ShortFilmTake::takeSettingsForStop(bool byRemote)
{
    // Taken out: a later stop never finishes with this take's settings.
    std::optional<ShortTake::Settings> settings = std::exchange(settings_, std::nullopt);
    if (!settings) {
        CameraOnlyRecorder& recorder = *preview_.recorder();
        settings.emplace();
        settings->filePosition = settings->previewPosition = position_;
        settings->fileMirrored = recorder.fileMirrored();
        settings->previewMirrored = recorder.previewMirrored();
        settings->rotation = recorder.rotationAngle();
        settings->script = script_;
        settings->channel = channel_;
    }
    settings->framing = preview_.framingTotals().measured();
    settings->tailTrim = byRemote ? SaveJob::remoteTailSeconds : 0;
    return *settings;
}

QCoro::Task<TakeEnd> ShortFilmTake::finish(QString file, TakeFolder folder, bool byRemote)
{
    QPointer<ShortFilmTake> weak(this);
    const ShortTake::Settings settings = takeSettingsForStop(byRemote);
    ShortFramingAccumulator& accum = preview_.framingTotals();
    // The studio stays in "finishing" until the short exists; the queue logs a failure, which the phase shows.
    auto work = std::make_shared<ShortExportWork>(ShortExportWork::Job{ScreenStopPlan::title(QFileInfo(folder.path).fileName(), folder.suffix),
        folder.path, file, settings, 0});
    QFuture<FinishWork::Outcome> finishing = host_.finishQueue().submit(work);
    co_await finishing;
    if (!weak)
        co_return TakeEnd{};
    if (!work->result()) {
        preview_.settle();
        if (finishing.resultCount() > 0 && finishing.result().failure)
            co_return TakeEnd{.failure = finishing.result().failure->description};
        co_return TakeEnd{};
    }
    const ShortTake::Result& result = *work->result();
    Diagnostics::log(QStringLiteral("short finished %1: crop %2,%3 %4x%5 of %6x%7, %8s, script %9, channel ")
                         .arg(QFileInfo(folder.path).fileName())
                         .arg(static_cast<int>(result.crop.x()))
                         .arg(static_cast<int>(result.crop.y()))
                         .arg(static_cast<int>(result.crop.width()))
                         .arg(static_cast<int>(result.crop.height()))
                         .arg(static_cast<int>(result.feed.width()))
                         .arg(static_cast<int>(result.feed.height()))
                         .arg(result.duration, 0, 'f', 1)
                         .arg(settings.script ? settings.script->scriptID : QStringLiteral("none"))
        + RecordingChannels::rawText(settings.channel) + framingText(settings.framing, accum.framesAnalyzed()));
    accum.reset();
    co_return TakeEnd{.file = result.shortURL, .note = result.note.value_or(QString()), .shortFile = result.shortURL};
}
