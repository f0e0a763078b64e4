#pragma once

#include "plans/OverlayFrameRenderer.h"

#include <QRect>

#include <atomic>
#include <functional>
#include <mutex>

// Stands in for the compositor: the screen stretched over the frame, the camera picture stretched into the
// bubble rectangle and the iPhone picture into its rectangle (render space, origin bottom-left, in both
// looks). Remembers what each frame was given.
class FakeOverlayRenderer : public OverlayFrameRenderer {
public:
    struct Seen {
        MediaTime time;
        bool screen = false;
        int cameraPicture = -1; // SyntheticTake::pictureNumber of the camera picture, -1 without one
        bool phone = false;
    };

    explicit FakeOverlayRenderer(const Setup& setup);
    std::optional<ErrorInfo> render(const Frame& frame, PixelBuffer& output) override;

    // Pixel rectangle (top-left origin) of a render-space rectangle.
    QRect pixelRect(const QRectF& renderSpace) const;

    struct Record {
        std::mutex lock;
        std::vector<Seen> frames;
        QSize renderSize;
        bool hasCamera = false;
        bool hasPhone = false;
        size_t clicks = 0;
        int64_t failAtFrame = -1; // this frame fails with an error
        // Runs on the drawing thread before each frame is drawn (outside the lock): a test may hold it there.
        std::function<void(int64_t index)> beforeFrame;
    };
    // A factory whose renderers write into `record`.
    static OverlayRendererFactory factory(std::shared_ptr<Record> record);

private:
    QSize size_;
    QRectF bubble_;
    QRectF phone_;
    std::shared_ptr<Record> record_;
};
