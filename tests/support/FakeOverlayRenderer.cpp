#include "support/FakeOverlayRenderer.h"

#include "plans/MixdownRequest.h"
#include "platform/media/PixelBufferViews.h"
#include "support/SyntheticTake.h"

#include <opencv2/imgproc.hpp>

FakeOverlayRenderer::FakeOverlayRenderer(const Setup& setup)
    : size_(setup.renderSize)
    , bubble_(setup.request.bubbleRect)
    , phone_(setup.request.phoneRect)
{
}

QRect FakeOverlayRenderer::pixelRect(const QRectF& r) const
{
    const QRect flipped(static_cast<int>(r.x()), size_.height() - static_cast<int>(r.y() + r.height()), static_cast<int>(r.width()),
        static_cast<int>(r.height()));
    return flipped.intersected(QRect(QPoint(0, 0), size_));
}

std::optional<ErrorInfo> FakeOverlayRenderer::render(const Frame& frame, PixelBuffer& output)
{
    if (!frame.screen)
        return ErrorInfo {QStringLiteral("FakeOverlayRenderer"), 1, QStringLiteral("A screen frame was missing during export.")};
    Seen seen {frame.time, true, -1, frame.phone != nullptr};
    if (frame.camera)
        seen.cameraPicture = SyntheticTake::pictureNumber(*frame.camera, frame.camera->width() / 2, frame.camera->height() / 2);
    if (record_ && record_->beforeFrame)
        record_->beforeFrame(frame.index);
    if (record_) {
        std::lock_guard guard(record_->lock);
        if (frame.index == record_->failAtFrame)
            return ErrorInfo {QStringLiteral("FakeOverlayRenderer"), 2, QStringLiteral("Could not allocate a frame to render into.")};
        record_->frames.push_back(seen);
    }
    cv::Mat target = PixelBufferViews::mat(output);
    cv::resize(PixelBufferViews::mat(*frame.screen), target, target.size(), 0, 0, cv::INTER_LINEAR);
    auto stretchInto = [&](const std::shared_ptr<const PixelBuffer>& picture, const QRectF& rect) {
        const QRect r = pixelRect(rect);
        if (!picture || r.width() < 1 || r.height() < 1)
            return;
        cv::Mat area = target(cv::Rect(r.x(), r.y(), r.width(), r.height()));
        cv::resize(PixelBufferViews::mat(*picture), area, area.size(), 0, 0, cv::INTER_NEAREST);
    };
    stretchInto(frame.phone, phone_);
    stretchInto(frame.camera, bubble_);
    return std::nullopt;
}

OverlayRendererFactory FakeOverlayRenderer::factory(std::shared_ptr<Record> record)
{
    return [record](const Setup& setup) {
        {
            std::lock_guard guard(record->lock);
            record->renderSize = setup.renderSize;
            record->hasCamera = setup.hasCamera;
            record->hasPhone = setup.hasPhone;
            record->clicks = setup.clicks.size();
        }
        auto renderer = std::make_unique<FakeOverlayRenderer>(setup);
        renderer->record_ = record;
        return renderer;
    };
}
