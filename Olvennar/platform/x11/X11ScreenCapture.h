#pragma once

#include "platform/x11/ScreenCapture.h"

#include <QByteArray>

#include <memory>

// The X11 grabber: its own xcb connection and thread per take, one reused MIT-SHM segment, the XComposite
// pixmaps of the windows beneath an excluded window to paint over it, and the XFixes cursor image.
class X11ScreenCapture final : public ScreenCapture {
public:
    // An empty display name means $DISPLAY.
    explicit X11ScreenCapture(QByteArray displayName = {});
    ~X11ScreenCapture() override;

    std::optional<std::vector<ScreenDisplay>> availableDisplays() override;
    std::optional<QString> start(const Configuration& configuration, FrameHandler onFrame) override;
    void stop() override;
    Statistics statistics() const override;

private:
    class Grabber;
    QByteArray displayName_;
    std::unique_ptr<Grabber> grabber_;
};
