#pragma once

#include "ui/ShortPreviewSources.h"

#include <functional>
#include <memory>

// The running app's answers for the short preview. The picture comes from the factory it is given (none: the
// stage's placeholder); the monitor is the window's own until the controller keeps one; no handoff script is
// shown and the viewer-view choice changes no mirroring until the camera-only recorder is wired here.
class AppShortPreviewSources final : public ShortPreviewSources {
public:
    using PictureFactory = std::function<QWidget*(QWidget* parent)>;
    explicit AppShortPreviewSources(PictureFactory makePicture = {});
    ~AppShortPreviewSources() override;

    QWidget* createPicture(QWidget* parent) override { return makePicture_ ? makePicture_(parent) : nullptr; }
    FramingMonitor& framing() override;
    std::optional<NextTake> headerScript() override { return std::nullopt; }
    void ignoreNextTake() override { }
    void setViewerView(bool) override { }

private:
    PictureFactory makePicture_;
    std::unique_ptr<FramingMonitor> framing_;
};
