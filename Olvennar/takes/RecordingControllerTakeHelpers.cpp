// Helpers every take shares: the folder clean-up, the panels after a take, the take's file names and the
// small texts and sidecars of the stop.
#include "core/RecordingController.h"

#include "capture/ScreenRecorder.h"
#include "platform/system/Diagnostics.h"
#include "plans/ZoomTimeline.h"
#include "framing/CameraBubbleWindow.h"
#include "platform/system/AtomicFile.h"
#include "takes/OverlayRecorder.h"

#include <QDir>
#include <QPointer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

#include <qcorofuture.h>

namespace {

const QStringList movieWords{QStringLiteral("raw"), QStringLiteral("camera"), QStringLiteral("iphone"), QStringLiteral("final"),
    QStringLiteral("face"), QStringLiteral("preview"), QStringLiteral("short")};
const QStringList sidecarWords{QStringLiteral("clicks"), QStringLiteral("cursor"), QStringLiteral("take"), QStringLiteral("crop")};

// Every file name a take with this suffix may leave: its movies and all of its sidecars.
QStringList takeFileNames(const QString& suffix)
{
    QStringList names;
    for (const QString& word : movieWords)
        names << word + suffix + QStringLiteral(".mov");
    for (const QString& word : sidecarWords + QStringList{QStringLiteral("zoom"), QStringLiteral("layout"), QStringLiteral("stop")})
        names << word + suffix + QStringLiteral(".json");
    return names;
}

} // namespace

void RecordingController::deleteTakeFiles(const QString& folder, const QString& suffix)
{
    const QDir dir(folder);
    for (const QString& word : movieWords)
        QFile::remove(dir.filePath(word + suffix + QStringLiteral(".mov")));
    for (const QString& word : sidecarWords)
        QFile::remove(dir.filePath(word + suffix + QStringLiteral(".json")));
}

bool RecordingController::removeFolderIfOnlyLeftovers(const QString& folder, const QString& suffix)
{
    QDir dir(folder);
    // Only a listing that worked may send a folder away; an unreadable one is kept.
    if (!dir.exists() || !QFileInfo(folder).isReadable())
        return false;
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const QStringList ours = takeFileNames(suffix);
    QStringList leftovers;
    for (const QFileInfo& entry : entries) {
        const bool junk = entry.fileName() == QLatin1String(".DS_Store");
        const bool emptyOfThisTake = entry.isFile() && !entry.isSymLink() && entry.size() == 0 && ours.contains(entry.fileName());
        if (!junk && !emptyOfThisTake)
            return false;
        leftovers << entry.fileName();
    }
    for (const QString& name : leftovers)
        QFile::remove(dir.filePath(name));
    // Never recursive: a folder that gained anything meanwhile stays.
    return QDir().rmdir(folder);
}

void RecordingController::discardEmptyProjectFolder()
{
    if (!projectFolder_)
        return;
    const QString folder = *projectFolder_;
    if (createdProjectFolder_ && removeFolderIfOnlyLeftovers(folder, takeSuffix_))
        Diagnostics::log(QStringLiteral("discarded empty folder ") + QFileInfo(folder).fileName());
    projectFolder_.reset();
    refreshDestinationName();
}

void RecordingController::settleOverlayWindows()
{
    if (!phoneEnabled_)
        phoneWindow_.reset();
    if (!cameraEnabled_)
        bubbleWindow_.reset();
    reconcilePhone();
    reconcileCamera();
}

QString RecordingController::describe(const std::vector<ClipSegment>& segments)
{
    if (segments.empty())
        return QStringLiteral("none");
    QStringList parts;
    for (const ClipSegment& segment : segments) {
        // The C library's rounding (QString::asprintf rounds its own way).
        char text[64];
        std::snprintf(text, sizeof text, "%.1f-%.1f", segment.start, segment.end);
        parts << QString::fromLatin1(text);
    }
    return parts.join(QLatin1Char(','));
}

QCoro::Task<bool> RecordingController::stopTakeRecorders()
{
    QPointer<RecordingController> weak(this);
    if (std::unique_ptr<ScreenRecorder> recorder = std::move(screenRecorder_)) {
        QFuture<ScreenRecorder::StopResult> stopping = recorder->stop();
        co_await stopping;
        if (!weak)
            co_return false;
    }
    if (OverlayRecorder* camera = cameraRecorder()) {
        QCoro::Task<std::optional<QString>> cameraStop = camera->stopRecording();
        co_await std::move(cameraStop);
    }
    if (!weak)
        co_return false;
    if (OverlayRecorder* phone = phoneRecorder()) {
        QCoro::Task<std::optional<QString>> phoneStop = phone->stopRecording();
        co_await std::move(phoneStop);
    }
    co_return static_cast<bool>(weak);
}
