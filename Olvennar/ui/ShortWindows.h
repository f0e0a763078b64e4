#pragma once

#include "platform/audio/MoviePlayer.h"

#include <QObject>
#include <QPointer>

#include <memory>

class RecordingController;
class ShortPreviewSources;
class ShortPreviewWindow;
class ShortReplayWindow;

// The two windows of the Short mode: at most one "Short frame" window, built on opening and forgotten when it
// closes, and the replay window, made on the first replay and kept for the whole run. Main thread only.
class ShortWindows : public QObject {
    Q_OBJECT

public:
    ShortWindows(RecordingController& controller, ShortPreviewSources& sources, MoviePlayer::PlaybackFactory makePlayback,
        QObject* parent = nullptr);
    ~ShortWindows() override;

    // Builds the window (in its saved place) or brings the open one to the front.
    void openPreview();
    bool previewOpen() const { return preview_ != nullptr; }
    // Closes the preview as its close button would.
    void closePreview();
    // Closes the preview and pauses and closes the replay.
    void closeAll();
    // Shows the replay window and plays the file from its start.
    void play(const QString& path);

    ShortPreviewWindow* preview() const { return preview_; }
    ShortReplayWindow* replay() const { return replay_.get(); }

private:
    void previewClosed();

    QPointer<RecordingController> controller_;
    ShortPreviewSources& sources_;
    MoviePlayer::PlaybackFactory makePlayback_;
    ShortPreviewWindow* preview_ = nullptr; // deleted later once closed
    std::unique_ptr<ShortReplayWindow> replay_;
};
