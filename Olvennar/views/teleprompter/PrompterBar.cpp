#include "views/teleprompter/PrompterBar.h"

#include "platform/image/ImageBlur.h"
#include "views/teleprompter/ShadowBlur.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <opencv2/core/mat.hpp>

#include <cmath>

namespace {

// Black at 0.12, radius 3, one point down.
constexpr double shadowOpacity = 0.12;
constexpr double shadowRadius = 3;
constexpr int shadowDrop = 1;

QPainterPath capsulePath(const QRectF& rect)
{
    QPainterPath path;
    const double radius = rect.height() / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

PrompterBar::PrompterBar(QColor fill, QMargins padding, bool shadow, QWidget* parent)
    : QWidget(parent)
    , fill_(fill)
    , shadow_(shadow)
    , row_(new QHBoxLayout(this))
{
    row_->setContentsMargins(padding + shadowMargins());
    row_->setSpacing(12);
}

void PrompterBar::setFill(QColor fill)
{
    fill_ = fill;
    update();
}

QMargins PrompterBar::shadowMargins() const
{
    if (!shadow_)
        return {};
    // Three sigmas hold all of the blur that shows.
    const int reach = static_cast<int>(std::ceil(3 * shadowSigma(shadowRadius)));
    return QMargins(reach, reach - shadowDrop, reach, reach + shadowDrop);
}

void PrompterBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule(this->capsule());
    if (shadow_) {
        if (shade_.size() != size()) {
            shade_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
            shade_.fill(Qt::transparent);
            QPainter shape(&shade_);
            shape.setRenderHint(QPainter::Antialiasing);
            shape.fillPath(capsulePath(capsule.translated(0, shadowDrop)), QColor::fromRgbF(0, 0, 0, static_cast<float>(shadowOpacity)));
            shape.end();
            // The blur treats each channel alike, whatever their order in memory.
            cv::Mat pixels(shade_.height(), shade_.width(), CV_8UC4, shade_.bits(), static_cast<size_t>(shade_.bytesPerLine()));
            ImageBlur::gaussian(pixels, shadowSigma(shadowRadius), false);
        }
        painter.drawImage(0, 0, shade_);
    }
    painter.fillPath(capsulePath(capsule), fill_);
}
