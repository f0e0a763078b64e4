#include "core/CameraBubblePanel.h"

#include "capture/ScreenGeometry.h"
#include "compositing/BubbleShapePath.h"
#include "compositing/StudioGeometry.h"
#include "core/CaptureDeviceChoice.h"
#include "core/Platform.h"
#include "framing/FramingReport.h"
#include "framing/StudioWindows.h"
#include "platform/system/Diagnostics.h"
#include "takes/OverlayRecorder.h"
#include "takes/TakeGeometry.h"
#include "takes/TakeLook.h"
#include "takes/TakeServices.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

CameraBubblePanel::CameraBubblePanel(Studio& studio, const Platform& platform, QObject* parent)
    : QObject(parent)
    , studio_(studio)
    , takes_(platform.takes)
    , windows_(platform.windows)
{
}

CameraBubblePanel::~CameraBubblePanel() = default;

OverlayRecorder* CameraBubblePanel::recorder() const { return takes_ ? &takes_->cameraRecorder() : nullptr; }

double CameraBubblePanel::cornerRadius(QSizeF size) const
{
    return BubbleShapePath::cornerRadius(studio_.bubbleSettings().bubbleShape, std::min(size.width(), size.height()));
}

void CameraBubblePanel::reconcile()
{
    const BubbleSettings& bubble = studio_.bubbleSettings();
    OverlayRecorder* camera = recorder();
    if (!bubble.cameraEnabled || !camera)
        return;
    const CaptureDeviceInfo* chosen = CaptureDeviceChoice::selectedOrFirst(bubble.cameras, bubble.selectedCameraID);
    if (!chosen) {
        camera->detach();
        if (!studio_.phase().isRolling())
            window_.reset();
        return;
    }
    if (camera->isAttached()) {
        // A camera that is still here stays; one that went is let go so the selection can take its place.
        if (CaptureDeviceChoice::listed(bubble.cameras, camera->attachedDeviceID()))
            return;
        camera->detach();
    }
    const QString id = chosen->uniqueID;
    studio_.setSelectedCameraID(id);
    camera->setPreferTallFormat(studio_.look().screenLayout == ScreenLayout::studio);
    if (const auto error = camera->configure(id, bubble.mirrorCamera)) {
        studio_.setPhase(RecordingPhase::failed(*error));
        return;
    }
    QPointer<CameraBubblePanel> weak(this);
    camera->onFrameSizeKnown = [weak](QSize) {
        QTimer::singleShot(0, weak.data(), [weak] {
            if (weak)
                weak->applyLayout(false);
        });
    };
    camera->startPreview();
    showWindow();
    Diagnostics::log(studio_.phase().isRolling() ? QStringLiteral("camera attached mid-take") : QStringLiteral("camera attached"));
}

void CameraBubblePanel::showWindow()
{
    OverlayRecorder* camera = recorder();
    const auto screen = studio_.selectedScreen();
    if (window_ || !screen || !camera || !windows_)
        return;
    const auto framing = studioFraming();
    const QSizeF size = windowSize(framing);
    auto panel = windows_->makePanel(camera->createPreview(nullptr), size, cornerRadius(size));
    if (!panel)
        return;
    panel->setShape(studio_.bubbleSettings().bubbleShape, studio_.bubbleSettings().bubbleTilt);
    panel->setStudioFraming(framing);
    place(*panel, *screen, framing.has_value());
    panel->orderFront();
    window_ = std::move(panel);
    studio_.updateFramingRouting();
}

void CameraBubblePanel::place(CameraPanel& panel, const ScreenPlace& screen, bool studio)
{
    if (!studio) {
        // Inside the part the movie films: on a 16:10 display the bottom corner of the display is not filmed.
        const QRect filmed = ScreenGeometry::filmedRect(screen.display.frame).toRect();
        const QSize shown = panel.panelSize();
        panel.placeAt({filmed.x() + filmed.width() - shown.width() - 40, filmed.y() + filmed.height() - shown.height() - 40});
    } else {
        panel.moveToStudioSlot(screen.visibleFrame, studio_.look().faceLayout);
        panel.flashGuide(5.0);
    }
}

void CameraBubblePanel::switchedOff()
{
    if (OverlayRecorder* camera = recorder()) {
        camera->detach();
        camera->stopPreview();
    }
    if (window_)
        window_->hidePanel();
    // During a take the hidden panel stays, so the stop can still measure where it stood.
    if (!studio_.phase().isRolling())
        window_.reset();
}

void CameraBubblePanel::dropWindowIfOff()
{
    if (!studio_.bubbleSettings().cameraEnabled)
        window_.reset();
}

void CameraBubblePanel::applyLayout(bool reanchor)
{
    if (!window_)
        return;
    const auto framing = studioFraming();
    const QSizeF size = windowSize(framing);
    window_->setStudioFraming(framing);
    window_->resizeTo(size, cornerRadius(size));
    window_->setShape(studio_.bubbleSettings().bubbleShape, studio_.bubbleSettings().bubbleTilt);
    if (!reanchor)
        return;
    if (const auto screen = studio_.selectedScreen())
        place(*window_, *screen, framing.has_value());
}

void CameraBubblePanel::refreshFormatForLayout()
{
    OverlayRecorder* camera = recorder();
    // In the middle of a take the format never changes.
    if (studio_.phase().isRolling() || !camera || !camera->isAttached())
        return;
    const bool tall = studio_.look().screenLayout == ScreenLayout::studio;
    if (tall == camera->preferTallFormat())
        return;
    camera->setPreferTallFormat(tall);
    camera->refreshFormat();
}

void CameraBubblePanel::showFraming(const FramingReport& report, bool shown)
{
    if (!window_)
        return;
    if (!shown) {
        window_->setPill(std::nullopt, QString(), 1);
        return;
    }
    // The pill has room for the hint itself, not its explanation.
    QString hint = report.overall.hints.isEmpty() ? QString() : report.overall.hints.first();
    hint = hint.left(hint.indexOf(QStringLiteral(" (")));
    hint = hint.left(hint.indexOf(QStringLiteral(" — ")));
    window_->setPill(report.overall.status, hint, window_->pixelRatio());
}

std::optional<FaceCardFraming> CameraBubblePanel::studioFraming() const
{
    const TakeLook& look = studio_.look();
    if (look.screenLayout != ScreenLayout::studio)
        return std::nullopt;
    QSizeF cameraSize(1920, 1080);
    if (const OverlayRecorder* camera = recorder()) {
        const QSize size = camera->frameSize();
        if (size.width() > 0 && size.height() > 0)
            cameraSize = QSizeF(size);
    }
    const StudioGeometry geometry(QSizeF(1920, 1080), 16.0 / 9.0, look.faceLayout, look.studioBackground);
    return FaceCardFraming::make(geometry, cameraSize);
}

QSizeF CameraBubblePanel::windowSize(const std::optional<FaceCardFraming>& framing) const
{
    return TakeGeometry::bubbleWindowSize(studio_.bubbleSettings().bubbleSize, framing);
}
