#include "views/teleprompter/CameraSpotMarker.h"

#include "teleprompter/DesktopPoints.h"
#include "teleprompter/PrompterPlacement.h"
#include "views/teleprompter/CameraSpotPanel.h"

#include <QPointer>

#include <cmath>

CameraSpotMarker::CameraSpotMarker(TeleprompterModel& model, QPointF start) : model_(model), start_(start) {}

CameraSpotMarker::~CameraSpotMarker() { close(); }

QPointF CameraSpotMarker::originFor(QPointF cross)
{
    return {cross.x() - panelWidth / 2, cross.y() + crossBelowTop - panelHeight};
}

QPointF CameraSpotMarker::crossOf(const QRectF& frame)
{
    // y up: bottom() is the panel's top edge.
    return {frame.center().x(), frame.bottom() - crossBelowTop};
}

void CameraSpotMarker::show()
{
    if (panel_)
        return;
    panel_ = std::make_unique<CameraSpotPanel>(model_);
    QPointer<CameraSpotMarker> weak(this);
    connect(panel_.get(), &CameraSpotPanel::doneClicked, this, [weak] {
        if (weak)
            weak->done();
    });
    connect(panel_.get(), &CameraSpotPanel::movedByUser, this, &CameraSpotMarker::panelMoved);
    const QPointF origin = originFor(start_);
    const QRectF frame = PrompterPlacement::toWindowSystem(QRectF(origin, QSizeF(panelWidth, panelHeight)), DesktopPoints::primaryHeight());
    panel_->move(static_cast<int>(std::lround(frame.x())), static_cast<int>(std::lround(frame.y())));
    panel_->show();
    panel_->raise();
}

void CameraSpotMarker::close()
{
    if (!panel_)
        return;
    panel_->disconnect(this);
    panel_->hide();
    // The Done click may still be on the panel's stack.
    panel_.release()->deleteLater();
}

void CameraSpotMarker::done()
{
    close();
    // The owner may let the marker go inside onDone: the call runs on a copy and nothing of the marker is
    // touched after it.
    if (const std::function<void()> finished = onDone)
        finished();
}

void CameraSpotMarker::panelMoved()
{
    if (!panel_ || !onMove)
        return;
    const QRectF frame = PrompterPlacement::fromWindowSystem(QRectF(panel_->geometry()), DesktopPoints::primaryHeight());
    onMove(crossOf(frame));
}
