#include "compositing/StudioBackdrop.h"

#include "platform/image/ImageBlur.h"
#include "platform/media/PixelBufferViews.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>
#include <functional>
#include <initializer_list>

namespace {

QColor hex(uint32_t rgb, double alpha = 1.0)
{
    QColor c(static_cast<int>((rgb >> 16) & 0xff), static_cast<int>((rgb >> 8) & 0xff), static_cast<int>(rgb & 0xff));
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

struct Stop {
    double location;
    uint32_t rgb;
    double alpha = 1.0;
};

// Drawing state of one plate: design units (1920 × 1080, y down) mapped onto plate pixels.
class Painter {
public:
    Painter(PixelBuffer& pixels, QSize frame)
        : pixels_(pixels)
    {
        dx_ = (pixels.width() - frame.width()) / 2.0;
        dy_ = (pixels.height() - frame.height()) / 2.0;
        sx_ = frame.width() / 1920.0;
        sy_ = frame.height() / 1080.0;
        unit_ = frame.height() / 1080.0;
    }

    QTransform design() const { return QTransform(sx_, 0, 0, sy_, dx_, dy_); }
    QRectF bounds() const { return {-dx_ / sx_, -dy_ / sy_, pixels_.width() / sx_, pixels_.height() / sy_}; }

    void paint(const std::function<void(QPainter&)>& draw)
    {
        QImage view = PixelBufferViews::image(pixels_);
        QPainter painter(&view);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setTransform(design());
        draw(painter);
    }

    void fill(uint32_t rgb)
    {
        paint([&](QPainter& p) { p.fillRect(bounds(), hex(rgb)); });
    }

    // The gradient line crosses the design centre; 0° points up, angles turn clockwise; ends extend.
    void linear(double degrees, std::initializer_list<Stop> stops)
    {
        const double t = degrees * M_PI / 180.0;
        const QPointF direction(std::sin(t), -std::cos(t));
        const double length = std::abs(1920 * std::sin(t)) + std::abs(1080 * std::cos(t));
        const QPointF centre(960, 540);
        QLinearGradient gradient(centre - direction * (length / 2), centre + direction * (length / 2));
        for (const Stop& s : stops)
            gradient.setColorAt(s.location, hex(s.rgb, s.alpha));
        gradient.setSpread(QGradient::PadSpread);
        paint([&](QPainter& p) { p.fillRect(bounds(), gradient); });
    }

    // A unit circle stretched to the radii, fading from the colour to nothing at 0.7; nothing beyond 1.
    void glow(QPointF centre, double rx, double ry, uint32_t rgb, double alpha)
    {
        paint([&](QPainter& p) {
            p.translate(centre);
            p.scale(rx, ry);
            QRadialGradient gradient(QPointF(0, 0), 1.0);
            gradient.setColorAt(0, hex(rgb, alpha));
            gradient.setColorAt(0.7, hex(rgb, 0));
            gradient.setColorAt(1, hex(rgb, 0));
            p.setPen(Qt::NoPen);
            p.setBrush(gradient);
            p.drawEllipse(QPointF(0, 0), 1.0, 1.0);
        });
    }

    // Shapes drawn on their own layer, blurred by sigma design units (edges clamped), laid over the plate.
    void blurred(double sigma, QPainter::CompositionMode mode, const std::function<void(QPainter&)>& draw)
    {
        PixelBuffer layer(pixels_.width(), pixels_.height());
        {
            QImage view = PixelBufferViews::image(layer);
            QPainter painter(&view);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setTransform(design());
            draw(painter);
        }
        cv::Mat mat = PixelBufferViews::mat(layer);
        ImageBlur::gaussian(mat, sigma * unit_, true);
        QImage plate = PixelBufferViews::image(pixels_);
        QPainter painter(&plate);
        painter.setCompositionMode(mode);
        painter.drawImage(0, 0, PixelBufferViews::image(layer));
    }

private:
    PixelBuffer& pixels_;
    double dx_ = 0, dy_ = 0, sx_ = 1, sy_ = 1, unit_ = 1;
};

void ellipses(QPainter& p, std::initializer_list<std::pair<uint32_t, QRectF>> shapes)
{
    p.setPen(Qt::NoPen);
    for (const auto& [rgb, rect] : shapes) {
        p.setBrush(hex(rgb));
        p.drawEllipse(rect);
    }
}

void windowBars(QPainter& p)
{
    p.translate(1150, 750);
    p.rotate(-26);
    p.translate(-1150, -750);
    p.setPen(Qt::NoPen);
    const QRectF frame(-300, -500, 2900, 2500);
    for (double x = 0; x < 2900; x += 420) {
        const QRectF bar(frame.x() + x + 230, frame.y(), 90, frame.height());
        QLinearGradient gradient(bar.left(), 0, bar.right(), 0);
        gradient.setColorAt(0, hex(0x96603E, 0));
        gradient.setColorAt(2.0 / 9, hex(0x96603E, 0.2));
        gradient.setColorAt(7.0 / 9, hex(0x96603E, 0.2));
        gradient.setColorAt(1, hex(0x96603E, 0));
        p.fillRect(bar, gradient);
    }
}

void dotGrid(QPainter& p, const QRectF& b)
{
    p.setPen(Qt::NoPen);
    p.setBrush(hex(0x8C5E48, 0.28));
    for (double y = std::floor(b.top() / 34) * 34 + 17; y < b.bottom(); y += 34) {
        for (double x = std::floor(b.left() / 34) * 34 + 17; x < b.right(); x += 34)
            p.drawEllipse(QRectF(x - 1.7, y - 1.7, 3.4, 3.4));
    }
}

void silkStrokes(QPainter& p)
{
    struct Stroke {
        uint32_t rgb;
        double alpha;
        double width;
        QRectF rect;
    };
    const Stroke strokes[] = {{0xFFFCF8, 0.95, 90, {-600, -900, 2600, 1500}}, {0xDEA08A, 0.62, 130, {-300, -500, 2600, 1400}},
        {0xFFFAF4, 0.85, 100, {-800, 300, 2800, 1500}}, {0xCE9678, 0.5, 150, {200, 500, 2600, 1300}}};
    p.setBrush(Qt::NoBrush);
    for (const Stroke& s : strokes) {
        p.setPen(QPen(hex(s.rgb, s.alpha), s.width));
        const double h = s.width / 2;
        p.drawEllipse(s.rect.adjusted(h, h, -h, -h));
    }
}

void paintLook(StudioBackground background, Painter& painter)
{
    switch (background) {
    case StudioBackground::linen:
        painter.fill(0xF3EBDD);
        painter.glow({230.4, 0}, 1344, 648, 0xE9BEAC, 0.55);
        painter.glow({1920, 1080}, 1152, 648, 0xD6C4A4, 0.55);
        break;
    case StudioBackground::blushMesh:
        painter.fill(0xF5E9DC);
        painter.blurred(90, QPainter::CompositionMode_SourceOver, [](QPainter& p) {
            ellipses(p, {{0xFBF3EA, {-200, -260, 1100, 900}}, {0xEDC4B4, {900, -200, 1200, 800}}, {0xE8D5B8, {-100, 500, 1100, 800}},
                            {0xF0CFC0, {1100, 600, 1000, 700}}});
        });
        break;
    case StudioBackground::clay:
        painter.linear(160, {{0, 0xE2B19F}, {0.55, 0xCF9784}, {1, 0xBF8472}});
        painter.glow({960, -54}, 1152, 540, 0xFFECE0, 0.6);
        break;
    case StudioBackground::sunlitStudio:
        painter.linear(120, {{0, 0xFBF1E2}, {0.6, 0xF4E2CC}, {1, 0xEBD3BA}});
        painter.blurred(14, QPainter::CompositionMode_Multiply, windowBars);
        painter.glow({1536, 216}, 1536, 756, 0xECBEA0, 0.45);
        painter.linear(180, {{0.6, 0x966E50, 0}, {1, 0x966E50, 0.12}});
        break;
    case StudioBackground::dotPaper: {
        painter.fill(0xF5EDD8);
        const QRectF bounds = painter.bounds();
        painter.paint([&](QPainter& p) { dotGrid(p, bounds); });
        painter.glow({1632, 108}, 1152, 594, 0xE2AA96, 0.45);
        painter.glow({0, 1080}, 1152, 648, 0xD4BE96, 0.40);
        break;
    }
    case StudioBackground::silkWaves:
        painter.linear(135, {{0, 0xF7EDE3}, {0.5, 0xF1DDD0}, {1, 0xEFD9C4}});
        painter.blurred(14, QPainter::CompositionMode_SourceOver, silkStrokes);
        break;
    case StudioBackground::darkRoom:
        painter.fill(0x0B0502);
        break;
    }
}

} // namespace

StudioBackdrop::Plate StudioBackdrop::makeLightPlate(StudioBackground background, QSize size, double over)
{
    const auto side = [&](double v) {
        const double scaled = std::round(v * over);
        return std::isfinite(scaled) ? std::max(static_cast<int>(scaled), 1) : 1;
    };
    const int pw = side(size.width());
    const int ph = side(size.height());
    Plate plate;
    plate.pixels = PixelBuffer(pw, ph);
    plate.extent = QRectF(-(pw - size.width()) / 2.0, -(ph - size.height()) / 2.0, pw, ph);
    if (size.width() <= 0 || size.height() <= 0)
        return plate;
    Painter painter(plate.pixels, size);
    paintLook(background, painter);
    if (background != StudioBackground::dotPaper)
        addGrain(plate.pixels, 1142437, 5, 0.55);
    return plate;
}

void StudioBackdrop::addGrain(PixelBuffer& pixels, uint64_t seed, double amplitude, double centre)
{
    SplitMix64 random(seed);
    for (int y = 0; y < pixels.height(); ++y) {
        uint8_t* p = pixels.row(y);
        for (int x = 0; x < pixels.width(); ++x, p += 4) {
            const int delta = static_cast<int>(amplitude * (random.fraction() - centre));
            if (delta == 0)
                continue;
            // Opaque plates: premultiplied and straight colour agree, so the bytes take the offset directly.
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::clamp(p[c] + delta, 0, 255));
        }
    }
}
