#pragma once

#include "compositing/FaceCardFraming.h"
#include "framing/FramingReport.h"
#include "takedata/BubbleShape.h"

#include <QPainterPath>
#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <optional>

class QTimer;
class QVariantAnimation;

// The content of a floating camera or phone panel: the live picture cut to the bubble's outline (or to the
// studio face card's exact crop, or inside a drawn phone body), a dashed eye-line guide and the framing pill.
// Geometry is computed here in widget coordinates; the outline comes from the shared bubble path, so the
// live bubble and the export mask agree.
class OverlayHostView : public QWidget {
    Q_OBJECT

public:
    // `preview` (may be null) becomes a child laid out under the overlays.
    explicit OverlayHostView(QWidget* preview, QWidget* parent = nullptr);
    ~OverlayHostView() override;

    QWidget* preview() const { return preview_; }

    double cornerRadius = 0;
    std::optional<FaceCardFraming> studioFraming;
    bool showsPhoneFrame = false;
    std::optional<BubbleShape> bubbleShape;
    double bubbleTilt = 0;

    // Lays the preview, its outline, the phone body and the guide out for the fields above.
    void layoutPreview();
    void layoutPill();
    void layoutGuide();
    // Shows the guide (only with a studio framing) and fades it out over 0.8 s after `seconds`.
    void flashGuide(double seconds);
    // No status, or the phone body shown, hides the pill.
    void setPill(std::optional<FramingStatus> status, const QString& text, double scale);

    // What the layout decided, in widget coordinates (y down).
    QRectF previewRect() const { return previewRect_; }
    // Empty: the preview is not masked (rounded by cornerRadius instead, or inside the phone body).
    const QPainterPath& outline() const { return outline_; }
    std::optional<QRectF> islandRect() const { return islandRect_; }
    double guideOpacity() const { return guideOpacity_; }
    QPainterPath guidePath() const;
    bool isPillShown() const { return pillStatus_.has_value(); }
    QRectF pillRect() const { return pillRect_; }
    QString pillText() const { return pillString_; }
    QColor pillDotColor() const;

    // The largest pill for a view of this width: 0.72 of it for a bubble, the width less 14 for a card.
    static double maximumPillWidth(double viewWidth, bool studioCard);
    // The two guide lines at 0.10 and 0.36 of the height below the top, 0.12 of the width in from each side.
    static QPainterPath guideLines(const QRectF& bounds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Decorations;
    void applyMasks();

    QPointer<QWidget> preview_;
    Decorations* decorations_;
    QRectF previewRect_;
    QPainterPath outline_;
    std::optional<QRectF> islandRect_;
    double guideOpacity_ = 0;
    QTimer* guideHide_;
    QVariantAnimation* fade_;
    std::optional<FramingStatus> pillStatus_;
    QString pillString_;
    QRectF pillRect_;
};
