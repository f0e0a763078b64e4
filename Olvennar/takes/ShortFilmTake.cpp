#include "takes/ShortFilmTake.h"

#include "finishing/SaveJob.h"
#include "platform/system/Diagnostics.h"
#include "shorts/ShortFramingAccumulator.h"
#include "takes/CameraOnlyTakeHost.h"

#include <QFileInfo>
#include <QPointer>

std::variant<TakeFolder, ErrorInfo> ShortFilmTake::openFolder()
{
    auto resolved = host_.resolveShortFolder();
    if (const ErrorInfo* error = std::get_if<ErrorInfo>(&resolved))
        return *error;
    ShortFolder made = std::get<ShortFolder>(std::move(resolved));
    script_ = made.script;
    channel_ = made.channel;
    return made.folder;
}

void ShortFilmTake::prepareFilming(const CaptureDeviceInfo& camera, const std::optional<QSize>& previewDelivered)
{
    CameraOnlyRecorder& recorder = *host_.cameraOnlyRecorder();
    host_.shortFramingAccum().reset();
    const ShortFraming::Position position = host_.cameraOnlyTakeSettings().shortPosition;
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
    host_.setShortFrameSize(recorder.frameSize());
    host_.applyShortViewerDisplay();
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

QCoro::Task<std::optional<QString>> ShortFilmTake::finish(QString file, TakeFolder folder, bool byRemote)
{
    QPointer<ShortFilmTake> weak(this);
    CameraOnlyRecorder& recorder = *host_.cameraOnlyRecorder();
    if (!settings_) {
        ShortTake::Settings settings;
        settings.filePosition = settings.previewPosition = host_.cameraOnlyTakeSettings().shortPosition;
        settings.fileMirrored = recorder.fileMirrored();
        settings.previewMirrored = recorder.previewMirrored();
        settings.rotation = recorder.rotationAngle();
        settings.script = script_;
        settings.channel = channel_;
        settings_ = settings;
    }
    ShortFramingAccumulator& accum = host_.shortFramingAccum();
    settings_->framing = accum.measured();
    settings_->tailTrim = byRemote ? SaveJob::remoteTailSeconds : 0;
    const ShortTake::Settings settings = *settings_;
    QCoro::Task<ShortTake::Outcome> finishing = ShortTake::finish(folder.path, file, settings);
    const ShortTake::Outcome outcome = co_await std::move(finishing);
    if (!weak)
        co_return std::nullopt;
    if (const ErrorInfo* error = std::get_if<ErrorInfo>(&outcome)) {
        Diagnostics::log(*error, QStringLiteral("camera-only stop"));
        host_.fail(error->description);
        host_.settleCameraOnlyPreview();
        co_return std::nullopt;
    }
    const ShortTake::Result& result = std::get<ShortTake::Result>(outcome);
    host_.setLastShortURL(result.shortURL);
    finishNote_ = result.note.value_or(QString());
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
    co_return result.shortURL;
}
