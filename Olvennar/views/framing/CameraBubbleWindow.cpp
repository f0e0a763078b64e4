#include "views/framing/CameraBubbleWindow.h"

#include <QMouseEvent>
#include <QVBoxLayout>

#include <cmath>

CameraBubbleWindow::CameraBubbleWindow(QWidget* preview, QSizeF size, double cornerRadius)
    : hostView_(new OverlayHostView(preview, this))
{
    // Bypassing the window manager keeps the panel on every workspace, above everything and out of the
    // focus chain; our own windows never reach the screen recording.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Camera"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(hostView_);
    resizeTo(size, cornerRadius);
}

CameraBubbleWindow::~CameraBubbleWindow() = default;

void CameraBubbleWindow::resizeTo(QSizeF size, double cornerRadius)
{
    const QPointF centre = QRectF(geometry()).center();
    const int w = static_cast<int>(std::lround(size.width())), h = static_cast<int>(std::lround(size.height()));
    const QRect old = geometry();
    // The first sizing has no meaningful centre yet.
    const bool placed = old.width() > 1 && old.height() > 1 && isVisible();
    setGeometry(placed ? static_cast<int>(std::lround(centre.x() - w / 2.0)) : old.x(), placed ? static_cast<int>(std::lround(centre.y() - h / 2.0)) : old.y(), w, h);
    hostView_->setGeometry(0, 0, w, h);
    hostView_->cornerRadius = cornerRadius;
    hostView_->layoutPreview();
}

void CameraBubbleWindow::setShape(BubbleShape shape, double tilt)
{
    hostView_->bubbleShape = shape;
    hostView_->bubbleTilt = tilt;
    hostView_->layoutPreview();
}

void CameraBubbleWindow::setShowsPhoneFrame(bool shows)
{
    hostView_->showsPhoneFrame = shows;
    hostView_->layoutPreview();
}

void CameraBubbleWindow::setPill(std::optional<FramingStatus> status, const QString& text, double scale)
{
    hostView_->setPill(status, text, scale);
}

void CameraBubbleWindow::flashGuide(double seconds) { hostView_->flashGuide(seconds); }

void CameraBubbleWindow::setStudioFraming(const std::optional<FaceCardFraming>& framing)
{
    if (hostView_->studioFraming == framing)
        return;
    hostView_->studioFraming = framing;
    hostView_->layoutPreview();
}

QPoint CameraBubbleWindow::studioSlotOrigin(const QRect& visible, QSizeF panel, FaceLayout face)
{
    const QRectF area(visible);
    if (face == FaceLayout::tallLeft)
        return QPointF(area.left() + 40, area.center().y() - panel.height() / 2).toPoint();
    return QPointF(area.right() - panel.width() - 40, area.bottom() - panel.height() - 40).toPoint();
}

void CameraBubbleWindow::moveToStudioSlot(const QRect& visibleArea, FaceLayout face)
{
    move(studioSlotOrigin(visibleArea, size(), face));
}

QRectF CameraBubbleWindow::rectInRenderSpace(const QRectF& panel, const QRectF& filmed, QSizeF render)
{
    if (filmed.width() <= 0 || filmed.height() <= 0)
        return {};
    // Bottom-left origin: the distance from the filmed area's bottom edge to the panel's bottom edge.
    const double x = render.width() * (panel.left() - filmed.left()) / filmed.width();
    const double y = render.height() * (filmed.bottom() - panel.bottom()) / filmed.height();
    return QRectF(x, y, render.width() * panel.width() / filmed.width(), render.height() * panel.height() / filmed.height());
}

QRectF CameraBubbleWindow::rectInRenderSpace(const QRectF& filmed, QSizeF renderSize) const
{
    // QRectF of an integer rectangle: right/bottom are the outer edges.
    return rectInRenderSpace(QRectF(geometry()), filmed, renderSize);
}

void CameraBubbleWindow::orderFront()
{
    show();
    raise();
}

void CameraBubbleWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragOffset_ = event->globalPosition().toPoint() - pos();
}

void CameraBubbleWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (dragOffset_)
        move(event->globalPosition().toPoint() - *dragOffset_);
}

void CameraBubbleWindow::mouseReleaseEvent(QMouseEvent*) { dragOffset_.reset(); }
