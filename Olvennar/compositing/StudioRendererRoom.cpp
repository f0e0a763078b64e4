#include "compositing/StudioPalette.h"
#include "compositing/StudioRenderer.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>
#include <initializer_list>

namespace {

QColor color(const StudioPalette::Color& c, double alpha)
{
    return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue), static_cast<float>(alpha));
}

struct Stop {
    double location;
    StudioPalette::Color color;
    double alpha;
};

QRadialGradient radial(QPointF centre, double radius, std::initializer_list<Stop> stops)
{
    QRadialGradient gradient(centre, radius);
    for (const Stop& s : stops)
        gradient.setColorAt(s.location, color(s.color, s.alpha));
    return gradient;
}

// A radial gradient drawn only inside its circle (not extended past its end).
void disc(QPainter& p, QPointF centre, double radius, std::initializer_list<Stop> stops)
{
    p.setPen(Qt::NoPen);
    p.setBrush(radial(centre, radius, stops));
    p.drawEllipse(centre, radius, radius);
}

} // namespace

StudioBackdrop::Plate StudioRenderer::makeRoom(const StudioGeometry& geometry)
{
    using namespace StudioPalette;
    const double W = geometry.size.width();
    const double H = geometry.size.height();
    const auto side = [](double v) { return std::isfinite(v) ? std::max(static_cast<int>(v * 1.1), 1) : 1; };
    const int pw = side(W);
    const int ph = side(H);
    const double padX = (pw - W) / 2;
    const double padY = (ph - H) / 2;
    StudioBackdrop::Plate plate;
    plate.pixels = PixelBuffer(pw, ph);
    plate.extent = QRectF(-padX, -padY, pw, ph);
    if (!(W > 0) || !(H > 0))
        return plate;

    QImage view = PixelBufferViews::image(plate.pixels);
    QPainter p(&view);
    p.setRenderHint(QPainter::Antialiasing);
    // Render space (y up) shifted into the overscan.
    const QTransform space(1, 0, 0, -1, padX, ph - padY);
    const QRectF all(-padX, -padY, pw, ph);
    p.setTransform(space);
    p.fillRect(all, color(darkFill, 1));
    p.fillRect(all, radial({0.52 * W, 0.96 * H}, 0.85 * W, {{0, {0.235, 0.118, 0.059, 1}, 1}, {0.3, lightFill, 1}, {0.75, darkFill, 1}}));

    // A glow flattened onto the window's top edge.
    const QRectF window = geometry.windowRect;
    p.save();
    p.translate(window.x() + window.width() / 2, std::min(window.y() + window.height(), H));
    p.scale(1, 0.42);
    disc(p, {0, 0}, 0.52 * W, {{0, warmGlow, 0.42}, {0.35, {0.776, 0.545, 0.494, 1}, 0.2}, {1, warmGlow, 0}});
    p.restore();
    disc(p, {0.06 * W, 0.1 * H}, 0.3 * W, {{0, {0.851, 0.757, 0.639, 1}, 0.06}, {1, {0.851, 0.757, 0.639, 1}, 0}});

    // A light beam from the top right, fading with its distance from its source.
    {
        QImage beam(view.size(), QImage::Format_ARGB32_Premultiplied);
        beam.fill(Qt::transparent);
        QPainter b(&beam);
        b.setRenderHint(QPainter::Antialiasing);
        b.setTransform(space);
        const QPointF A(0.86 * W, 1.05 * H), B(0.22 * W, -0.1 * H);
        const double d = std::hypot(B.x() - A.x(), B.y() - A.y());
        const QPointF M = (A + B) / 2;
        b.save();
        b.translate(M);
        b.rotate(std::atan2(-(B.x() - A.x()), (B.y() - A.y())) * 180 / M_PI); // x axis along the normal
        QLinearGradient across(-0.11 * W, 0, 0.11 * W, 0);
        for (const auto& [at, alpha] : {std::pair{0.0, 0.0}, {0.3, 0.04}, {0.5, 0.11}, {0.7, 0.04}, {1.0, 0.0}})
            across.setColorAt(at, color(cream, alpha));
        const double far = 4 * (W + H);
        b.fillRect(QRectF(-0.11 * W, -far, 0.22 * W, 2 * far), across);
        b.restore();
        b.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        disc(b, A, 0.95 * d, {{0, darkFill, 1}, {0.55, darkFill, 0.55}, {1, darkFill, 0}});
        b.end();
        p.save();
        p.resetTransform();
        p.drawImage(0, 0, beam);
        p.restore();
    }

    StudioBackdrop::SplitMix64 random(1592598566);
    for (int i = 0; i < 10; ++i) {
        const double r1 = random.fraction(), r2 = random.fraction(), r3 = random.fraction(), r4 = random.fraction();
        const QPointF centre(W * r1, i % 3 == 0 ? H * r2 : H * (0.8 + 0.2 * r2));
        const double radius = W * (0.018 + 0.05 * r3);
        const double a = 0.035 + 0.05 * r4;
        const Color tone = i % 2 == 0 ? warmGlow : cream;
        disc(p, centre, radius, {{0, tone, a}, {0.6, tone, 0.7 * a}, {1, tone, 0}});
    }
    p.fillRect(all, radial({0.5 * W, 0.5 * H}, 0.5 * 1.12 * std::hypot(W, H), {{0, darkFill, 0}, {0.55, darkFill, 0}, {1, darkFill, 0.7}}));
    p.end();
    StudioBackdrop::addGrain(plate.pixels, 27162, 7, 0.5);
    return plate;
}
