#include "ui/ShortWindows.h"

#include "core/RecordingController.h"
#include "platform/system/WindowFrameAutosave.h"
#include "ui/ShortPreviewSources.h"
#include "ui/ShortPreviewWindow.h"
#include "views/shorts/ShortReplayWindow.h"

ShortWindows::ShortWindows(RecordingController& controller, ShortPreviewSources& sources, MoviePlayer::PlaybackFactory makePlayback,
    QObject* parent)
    : QObject(parent)
    , controller_(&controller)
    , sources_(sources)
    , makePlayback_(std::move(makePlayback))
{
}

ShortWindows::~ShortWindows()
{
    if (preview_) {
        preview_->onClose = nullptr;
        delete preview_;
    }
}

void ShortWindows::openPreview()
{
    if (!controller_)
        return;
    if (!preview_) {
        preview_ = new ShortPreviewWindow(*controller_, sources_);
        new WindowFrameAutosave(*preview_, controller_->platform().settings, QStringLiteral("ShortFrameWindow"));
        preview_->onClose = [this] { previewClosed(); };
        controller_->setShortWindowOpen(true);
    }
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
}

void ShortWindows::previewClosed()
{
    ShortPreviewWindow* closed = preview_;
    preview_ = nullptr;
    if (closed) {
        closed->onClose = nullptr;
        closed->deleteLater();
    }
    sources_.setViewerView(false);
    if (controller_) {
        controller_->setShortWindowOpen(false);
        Q_EMIT controller_->changed();
    }
}

void ShortWindows::closePreview()
{
    if (preview_)
        preview_->close();
}

void ShortWindows::closeAll()
{
    closePreview();
    if (replay_)
        replay_->close();
}

void ShortWindows::play(const QString& path)
{
    if (!controller_)
        return;
    if (!replay_)
        replay_ = std::make_unique<ShortReplayWindow>(controller_->platform().settings, makePlayback_);
    replay_->play(path);
}
