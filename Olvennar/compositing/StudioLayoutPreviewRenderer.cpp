#include "compositing/StudioLayoutPreviewRenderer.h"

#include "platform/media/PixelBufferViews.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <cstring>

namespace {

QColor fraction(double red, double green, double blue) { return QColor::fromRgbF(red, green, blue); }

// Paints in the picture's own space (origin bottom-left, y up) onto a raster buffer.
class BottomUpPainter {
public:
    explicit BottomUpPainter(PixelBuffer& buffer)
        : image_(PixelBufferViews::image(buffer))
        , painter_(&image_)
        , height_(buffer.height())
    {
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.setPen(Qt::NoPen);
    }
    void rect(const QRectF& rect, double radius, const QColor& color)
    {
        painter_.setBrush(color);
        painter_.drawRoundedRect(flipped(rect), radius, radius);
    }
    void ellipse(const QRectF& rect, const QColor& color)
    {
        painter_.setBrush(color);
        painter_.drawEllipse(flipped(rect));
    }

private:
    QRectF flipped(const QRectF& rect) const { return {rect.x(), height_ - rect.y() - rect.height(), rect.width(), rect.height()}; }

    QImage image_;
    QPainter painter_;
    int height_;
};

} // namespace

StudioLayoutPreviewRenderer::StudioLayoutPreviewRenderer(FaceLayout face, StudioBackground background, QSize size)
    : face_(face)
    , background_(background)
    , renderer_(size, QSizeF(screenSize), face, background)
    , base_(size.width(), size.height())
    , frame_(size.width(), size.height())
{
    // The screen at rest fills its window: no zoom, no pointer, no clicks, the room at time 0.
    const PixelBuffer screen = placeholderScreen(screenSize);
    renderer_.drawBase(screen, 0.0, ZoomTimeline::State{}, QRectF(0, 0, 1, 1), nullptr, {}, false, std::nullopt, base_);
    frame_ = base_;
    // The card and its soft shadow (blur and drop stay within 0.15 H of the card), flipped to raster rows.
    const QRectF card = renderer_.geometry().cardRect;
    const double margin = 0.15 * size.height();
    const QRectF area = card.adjusted(-margin, -margin, margin, margin);
    cardArea_ = QRect(QPoint(int(std::floor(area.left())), int(std::floor(size.height() - area.bottom()))),
        QPoint(int(std::ceil(area.right())), int(std::ceil(size.height() - area.top()))))
                    .intersected(QRect(QPoint(0, 0), size));
}

QImage StudioLayoutPreviewRenderer::render(const PixelBuffer* camera, bool grade)
{
    // Only the card's neighbourhood differs from the base after a card: put it back.
    const size_t offset = static_cast<size_t>(cardArea_.left()) * PixelBuffer::bytesPerPixel;
    const size_t bytes = static_cast<size_t>(cardArea_.width()) * PixelBuffer::bytesPerPixel;
    for (int y = cardArea_.top(); y <= cardArea_.bottom(); ++y)
        std::memcpy(frame_.row(y) + offset, base_.row(y) + offset, bytes);
    renderer_.drawCard(camera ? *camera : placeholderCamera(), 1.0, grade, std::nullopt, frame_);
    return PixelBufferViews::image(frame_).copy();
}

const PixelBuffer& StudioLayoutPreviewRenderer::placeholderCamera()
{
    static const PixelBuffer picture = [] {
        PixelBuffer buffer(640, 360);
        BottomUpPainter paint(buffer);
        paint.rect(QRectF(0, 0, 640, 360), 0, fraction(0.851, 0.757, 0.639));
        const QColor silhouette = fraction(0.776, 0.545, 0.494);
        paint.ellipse(QRectF(170, -120, 300, 240), silhouette);
        paint.ellipse(QRectF(258, 150, 124, 150), silhouette);
        return buffer;
    }();
    return picture;
}

PixelBuffer StudioLayoutPreviewRenderer::placeholderScreen(QSize size)
{
    PixelBuffer buffer(size.width(), size.height());
    const double width = size.width();
    const double height = size.height();
    BottomUpPainter paint(buffer);
    paint.rect(QRectF(0, 0, width, height), 0, fraction(0.87, 0.85, 0.82));
    const QRectF window(0.05 * width, 0.06 * height, 0.9 * width, 0.86 * height);
    const double radius = 0.012 * height;
    paint.rect(window, radius, fraction(0.99, 0.98, 0.96));
    const double barHeight = 0.06 * height;
    const QRectF titleBar(window.left(), window.bottom() - barHeight, window.width(), barHeight);
    paint.rect(titleBar, radius, fraction(0.93, 0.91, 0.88));
    const double diameter = 0.018 * height;
    for (double step : {0.0, 1.6, 3.2}) {
        const double left = window.left() + 0.02 * height + step * diameter;
        paint.ellipse(QRectF(left, titleBar.center().y() - diameter / 2, diameter, diameter), fraction(0.78, 0.74, 0.70));
    }
    const QRectF sidebar(window.left(), window.top(), 0.18 * width, window.height() - barHeight);
    paint.rect(sidebar, 0, fraction(0.95, 0.93, 0.90));
    constexpr std::array<double, 7> widths{0.62, 0.48, 0.55, 0.40, 0.58, 0.35, 0.50};
    const double textLeft = sidebar.right() + 0.04 * width;
    const double room = window.right() - sidebar.right() - 0.08 * width;
    for (size_t k = 0; k < widths.size(); ++k) {
        const double bottom = titleBar.top() - 0.08 * height - 0.075 * static_cast<double>(k) * height;
        paint.rect(QRectF(textLeft, bottom, widths[k] * room, 0.022 * height), 0.011 * height, fraction(0.83, 0.80, 0.76));
    }
    return buffer;
}
