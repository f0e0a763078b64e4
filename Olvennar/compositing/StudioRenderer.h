#pragma once

#include "compositing/StudioBackdrop.h"
#include "compositing/StudioGeometry.h"
#include "compositing/StudioLayoutFrame.h"
#include "plans/LayoutBlend.h"
#include "plans/ZoomTimeline.h"
#include "platform/image/ImageLayer.h"
#include "platform/image/PlanarCompositing.h"
#include "platform/image/ImageShapes.h"
#include "platform/image/RoundedRectShape.h"
#include "platform/media/PlanarCanvas.h"
#include "platform/media/PlanarPicture.h"
#include "platform/media/PixelBuffer.h"
#include "takedata/Click.h"
#include "takedata/CursorShape.h"
#include "takedata/PointerPath.h"
#include "takedata/StudioLook.h"

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QTransform>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct RoundedRectShape;
struct StudioCamera;

// Paints the studio look of one output frame: the room, the screen as a floating window with shadow and
// rim, the zoom camera and layout morphs, click ripples and the pointer, then the camera card.
// Everything that stays the same from frame to frame (room, shadows, masks, rims, sprites, ripple) is
// baked once in the constructor; a frame only transforms and composites.
//
// Geometry is render space (origin bottom-left, y up, pixels of the render size); pixel buffers are raster
// (row 0 on top). The flip happens once where geometry meets pixels.
//
// Frames are drawn in BGRA (previews) or straight into the encoder's 4:2:0 planes (the export): the same
// layers, each composited per plane with the same coverage and alpha (PlanarCompositing), so no BGRA frame
// exists on the way to the encoder.
//
// Threading: one thread at a time per renderer (the per-state shadow caches and the planar room fill on
// first use). Output buffers are BGRA premultiplied PixelBuffers, or planes, of exactly the render size.
class StudioRenderer {
public:
    // A pre-baked pointer picture. `hotspot` is the sprite pixel on the pointer's tip, measured from the
    // sprite's bottom-left corner; `unit` sprite pixels per path unit.
    struct CursorSprite {
        ImageLayer image;
        QPointF hotspot;
        double unit = 14;
    };

    // A pointer outline in path units, the tip at the origin, y growing downward on the sprite.
    struct CursorOutline {
        QPainterPath body;
        std::optional<QPainterPath> detail;
    };

    // Everything one output frame needs. Pointers are borrowed for the call only.
    struct Frame {
        const PixelBuffer* screen = nullptr; // the screen recording's frame, screen pixels
        // Instead of `screen`, drawing into planes only: the frame as decoded, 4:2:0 planes (BT.709 limited
        // range), resampled plane by plane and never turned into BGRA.
        const PlanarView* screenPlanes = nullptr;
        double time = 0; // take seconds
        ZoomTimeline::State zoom;
        QRectF region{0, 0, 1, 1}; // shown part of the screen, fractions (origin bottom-left)
        const PointerPath* pointer = nullptr;
        const std::vector<Click>* clicks = nullptr;
        bool showClicks = false;
        std::optional<LayoutBlend> layout;
        const PixelBuffer* camera = nullptr; // nothing: no card
        double cardAlpha = 1; // the card's opacity this frame
        bool grade = true; // colour-grade the camera picture
        // `camera` when it is shared: a card at rest reuses what it made of the same picture (planes only).
        std::shared_ptr<const PixelBuffer> sharedCamera;
        // Instead of `camera`, drawing into planes only: the camera picture as decoded, 4:2:0 planes (BT.709
        // limited range), resampled, graded and masked plane by plane. `sharedCameraPlanes` holds them when
        // they are shared, so a card at rest reuses what it made of the same picture.
        const PlanarView* cameraPlanes = nullptr;
        std::shared_ptr<const PlanarPicture> sharedCameraPlanes;
    };

    StudioRenderer(QSize renderSize, QSizeF screenSize, FaceLayout face, StudioBackground background);
    ~StudioRenderer();
    StudioRenderer(const StudioRenderer&) = delete;
    StudioRenderer& operator=(const StudioRenderer&) = delete;

    const StudioGeometry& geometry() const { return geometry_; }
    QSizeF screenSize() const { return screenSize_; }
    QSize renderSize() const { return renderSize_; }

    // The whole frame: drawBase, then drawCard when a camera frame is given. False (output untouched)
    // when `out` is not of the render size or no screen frame is given (a BGRA frame needs `screen`).
    bool render(const Frame& frame, PixelBuffer& out);
    // The same frame drawn into 4:2:0 planes of the render size.
    bool render(const Frame& frame, const PlanarCanvas& out);

    // Room, window shadow, screen window and rim, click ripples and pointer; overwrites every pixel of `out`.
    bool drawBase(const PixelBuffer& screen, double time, const ZoomTimeline::State& zoom, const QRectF& region,
        const PointerPath* pointer, const std::vector<Click>& clicks, bool showClicks, std::optional<LayoutBlend> layout,
        PixelBuffer& out);
    // The camera card over a base frame drawn by drawBase (in place). A camera picture without a card
    // framing leaves the frame as it is.
    void drawCard(const PixelBuffer& camera, double alpha, bool grade, std::optional<LayoutBlend> layout, PixelBuffer& over);
    // The same for a shared picture, which nobody writes while it is shared: when the same one comes again
    // (a camera slower than the export's frame rate), the card at rest reuses the picture it made of it.
    void drawCard(const std::shared_ptr<const PixelBuffer>& camera, double alpha, bool grade, std::optional<LayoutBlend> layout,
        PixelBuffer& over);

    // The blended window and card of a layout blend; nothing for no blend.
    std::optional<StudioLayoutFrame> layoutFrame(std::optional<LayoutBlend> blend) const;

    // Per-state shadows, baked into the window's or card's neighbourhood on first use.
    const ImageLayer& windowShadow(LayoutState state);
    const ImageLayer& cardShadow(LayoutState state);

    // Baked pieces, exposed for inspection.
    const StudioBackdrop::Plate& room() const { return room_; }
    const ImageLayer& homeWindowShadow() const { return windowShadow_; }
    const ImageLayer& homeCardShadow() const { return cardShadow_; }
    const ImageLayer& cardMask() const { return cardMask_; }
    const ImageLayer& cardEdge() const { return cardEdge_; }
    const ImageLayer& ripple() const { return ripple_; }
    const CursorSprite* sprite(CursorShape shape) const;

    // The pointer outline of a shape (`other` has the arrow's) and its baked sprite.
    static CursorOutline cursorPath(CursorShape shape);
    static CursorSprite makeCursor(CursorShape shape);

    // Camera picture helpers: the colour grade (light: every backdrop but the dark room) and the scale
    // (Lanczos up, sharpened above 1.3; area down).
    static void grade(PixelBuffer& picture, bool light);
    // The same grade on opaque planes (BT.709 limited range).
    static void grade(const PlanarCanvas& planes, bool light);
    static PixelBuffer scaleCamera(const PixelBuffer& picture, double scale);

    // The dark room plate: canvas in the middle, overscan on every side.
    static StudioBackdrop::Plate makeRoom(const StudioGeometry& geometry);
    // The 512 × 512 click ring: warm glow, alpha peaking at 0.82 of the radius.
    static ImageLayer makeRipple();

    // A click's ring `age` seconds after it: drawn from 0 to 0.55 s, growing while it fades.
    struct ClickRipple {
        double radius = 0; // render pixels
        double alpha = 0;
    };
    static std::optional<ClickRipple> clickRipple(double age, double magnification, double height);
    // The pointer's press dip at a time: 1, or down to 0.84 around a click.
    static double pressScale(double time, const std::vector<Click>& clicks);

private:
    struct Scratch;
    struct BasePlan;
    // Takes a drawn piece (premultiplied BGRA) to the frame: its top-left canvas pixel and its opacity.
    using PieceSink = std::function<void(const cv::Mat& piece, QPoint at, double alpha)>;
    struct ShadowUse {
        const ImageLayer* shadow;
        QRectF from; // the rectangle the shadow was baked around
        double weight;
    };

    // Where the window lands and what it hides. A screen picture given is checked for opaque pixels under the
    // window's middle; none: the picture is known opaque (decoded planes).
    BasePlan planBase(const PixelBuffer* screen, QSize pictureSize, const ZoomTimeline::State& zoom, const QRectF& region,
        std::optional<LayoutBlend> layout) const;
    // The window shadows of a frame: the home one, or the two states' of a morph, weighed.
    std::vector<ShadowUse> windowShadows(const BasePlan& plan, std::optional<LayoutBlend> layout);
    // The screen's frame for the planar path: BGRA or decoded planes, one of them.
    struct ScreenPicture {
        const PixelBuffer* bgra = nullptr;
        const PlanarView* planes = nullptr;
        QSize size() const { return bgra ? QSize(bgra->width(), bgra->height()) : QSize(planes->width, planes->height); }
    };
    bool drawPlanarBase(const ScreenPicture& screen, double time, const ZoomTimeline::State& zoom, const QRectF& region,
        const PointerPath* pointer, const std::vector<Click>& clicks, bool showClicks, std::optional<LayoutBlend> layout,
        const QRect& underCard, const PlanarCanvas& out);
    void drawPlanarRoom(double time, double zoomWeight, const QRect& hidden, const QRect& underCard, const PlanarCanvas& out);
    void drawPlanarScreen(const ScreenPicture& screen, const StudioCamera& camera, const QRectF& windowRect, double radius,
        bool covers, const QRect& hidden, const PlanarCanvas& out);
    // The decoded planes resampled plane by plane into `area` (on even pixels): the opaque middle written
    // straight into the frame, the edges mixed by their coverage of the window's mask and of the picture.
    void drawScreenPlanes(const PlanarView& screen, const QTransform& toCanvas, const RoundedRectShape& mask, bool covers,
        const QRect& hidden, const QRect& area, const PlanarCanvas& out);
    void drawShadowPieces(const ImageLayer& shadow, const QRectF& from, const QRectF& to, const QTransform& room, double weight,
        const QRect& targetRect, const QRect& hidden, const QRect& alsoHidden, const PieceSink& sink);

    bool drawSafeBase(const PixelBuffer& screen, double time, const ZoomTimeline::State& zoom, const QRectF& region,
        const PointerPath* pointer, const std::vector<Click>& clicks, bool showClicks, std::optional<LayoutBlend> layout,
        const QRect& underCard, PixelBuffer& out);
    // Where a camera picture of `camera` size lands this frame: the card (render space), its corners and rim,
    // the picture's scale and centre, the raster pixels it covers; moving while the layout morphs.
    struct CardPlan {
        bool moving = false;
        QRectF card;
        double radius = 0;
        double rim = 0;
        double scale = 1;
        QPointF centre;
        QRect area;
    };
    std::optional<CardPlan> planCard(QSize camera, std::optional<LayoutBlend> layout) const;
    static QTransform cameraPlacement(QSize camera, double scale, QPointF centre, double canvasHeight);
    // The raster pixels a card at rest surely paints opaque over the base (empty when unsure: fading, moving).
    // No pixels: a picture known opaque.
    QRect cardCover(const PixelBuffer* pixels, QSize camera, double alpha, std::optional<LayoutBlend> layout) const;
    void bakeCardEdge();
    ImageLayer makeShadow(const QRectF& rect, double radius, bool heavy, bool tall, std::optional<QRectF> bakeIn) const;
    // Room plate pixels → canvas pixels: the slow drift, and the dark room's push-in while zoomed.
    QTransform roomToCanvas(double time, double zoomWeight) const;
    void drawRoom(double time, double zoomWeight, const QRect& hidden, const QRect& underCard, PixelBuffer& out) const;
    void drawShadowMapped(const ImageLayer& shadow, const QRectF& from, const QRectF& to, const QTransform& room,
        double weight, cv::Mat& target, QPoint targetOrigin, const QRect& hidden = {}, const QRect& alsoHidden = {});
    // The camera picture scaled by `scale` with its centre at `centre` (render space), covering `card`;
    // written for the raster `area` into the card scratch.
    void coverCard(const PixelBuffer& camera, bool grade, double scale, QPointF centre, const QRectF& card, const QRect& area);
    // Where a card lands: straight into a BGRA frame, or through a layer into planes.
    struct CardTarget {
        PixelBuffer* bgra = nullptr;
        const PlanarCanvas* planes = nullptr;
    };
    template <typename Draw>
    void composeLayer(const CardTarget& out, double alpha, const QRect& bounds, const Draw& draw);
    QTransform screenToCanvas(QSize pictureSize, const StudioCamera& camera) const;
    // Whether every pixel `picture` (mapped by `toCanvas`) paints into the canvas `area` is opaque.
    static bool opaqueUnder(const PixelBuffer& picture, const QTransform& toCanvas, const QRect& area);
    void drawScreen(const PixelBuffer& screen, const StudioCamera& camera, const QRectF& windowRect, double radius,
        bool covers, const QRect& hidden, PixelBuffer& out);
    void drawWindowEdge(const QRectF& windowRect, double radius, cv::Mat& target, QPoint origin) const;
    void drawRipples(double time, const StudioCamera& camera, const std::vector<Click>& clicks, const QRectF& windowRect,
        bool covers, const PieceSink& sink);
    void drawPointer(double time, const StudioCamera& camera, const PointerPath& pointer, const std::vector<Click>& clicks,
        const QRectF& windowRect, bool covers, const PieceSink& sink);
    void drawCardOnce(const PixelBuffer& camera, const std::shared_ptr<const PixelBuffer>& shared, double alpha, bool grade,
        std::optional<LayoutBlend> layout, const CardTarget& over);
    void drawMovingCard(const PixelBuffer& camera, double alpha, bool grade, const CardPlan& plan, const LayoutBlend& blend,
        const CardTarget& over);
    // A moving card's shadows: the two states' own, weighed by the blend, around `outer` (rim included).
    static std::vector<std::pair<LayoutState, double>> cardShadowWeights(const LayoutBlend& blend);
    void drawMovingCardShadows(const LayoutBlend& blend, const QRectF& outer, const QRect& hidden, const QRect& targetRect,
        const PieceSink& sink);
    // A moving card's rim on light backdrops; nothing in the dark room.
    struct CardRim {
        RoundedRectShape outer;
        RoundedRectShape inner;
        ImageShapes::Color colour;
    };
    std::optional<CardRim> movingCardRim(const CardPlan& plan) const;
    // The card from the camera's decoded planes, straight into the frame's planes: shadow, the picture
    // resampled, graded and mixed by the card's mask coverage plane by plane, then the rim or edge. Faded
    // (alpha below 1) as one layer. A picture that leaves part of the card bare takes the BGRA way.
    void drawPlanarCard(const PlanarView& camera, const std::shared_ptr<const PlanarPicture>& shared, double alpha, bool grade,
        std::optional<LayoutBlend> layout, const PlanarCanvas& out);
    void drawPlanarCardLayers(const PlanarView& camera, const std::shared_ptr<const PlanarPicture>& shared, bool grade, const CardPlan& plan,
        const std::optional<LayoutBlend>& layout, const PlanarCanvas& out);
    // The card picture, which covers the card, in planes for `area` (on even pixels) into scratch_->cardPlanes.
    void coverCardPlanes(const PlanarView& camera, bool grade, const CardPlan& plan, const QRect& area);
    bool isHome(const StudioLayoutFrame& frame) const;

    QSize renderSize_;
    StudioGeometry geometry_;
    QSizeF screenSize_;
    StudioBackdrop::Plate room_;
    ImageLayer windowShadow_;
    ImageLayer cardShadow_;
    ImageLayer cardMask_;
    ImageLayer cardEdge_;
    // Canvas pixels inside the card where the edge layer is wholly clear: blending it there changes nothing.
    QRect cardEdgeClear_;
    std::map<CursorShape, CursorSprite> sprites_;
    ImageLayer ripple_;
    std::map<LayoutState, ImageLayer> stateCardShadows_;
    std::map<LayoutState, ImageLayer> stateWindowShadows_;
    PlanarImage roomPlanes_; // the room plate in planes, made on the first planar frame
    PlanarCompositing::PreparedPiece windowShadowPlanes_; // the home window shadow in planes, likewise
    // The window's rim in planes, a piece per band around its middle, once the window stood still for a frame.
    struct WindowRimPlanes {
        QRectF windowRect;
        double radius = 0;
        std::vector<PlanarCompositing::PreparedPiece> bands;
    };
    WindowRimPlanes windowRimPlanes_;
    std::unique_ptr<Scratch> scratch_;
    // The shared camera picture the card at rest last showed (held, so it cannot be recycled), and how:
    // what scratch_->cardView holds while it is set.
    struct RestingCard {
        std::shared_ptr<const PixelBuffer> camera;
        bool grade = true;
        QRect area;
    };
    std::optional<RestingCard> restingCard_;
    PlanarCompositing::PreparedPiece cardShadowPlanes_; // the home card shadow and edge in planes, on first use
    PlanarCompositing::PreparedPiece cardEdgePlanes_;
    // The same for a card drawn from planes: what scratch_->cardPlanes holds while it is set.
    struct RestingCardPlanes {
        std::shared_ptr<const PlanarPicture> camera;
        bool grade = true;
        QRect area;
    };
    std::optional<RestingCardPlanes> restingCardPlanes_;
};
