#pragma once

#include "framing/ShortCrop.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <utility>

struct FaceMeasurement;

// Where the camera picture, the 9:16 crop and the shown part of the picture lie on the short frame stage, and
// the pure rules of the stage's drawing and drag. Stage points, origin top-left, y down; camera pixels likewise.
struct ShortStageLayout {
    QRectF camera;  // the whole camera picture
    QRectF crop;    // the 9:16 crop
    QRectF visible; // the picture is clipped to it
    double scale = 0; // stage points per camera pixel

    static constexpr double margin = 10;

    // A frame side below 2 means the camera has not reported yet: a 1920×1440 placeholder picture with a zero crop.
    static ShortStageLayout compute(const QSizeF& offered, const QSizeF& frameSize, const ShortFraming::Position& position,
        bool viewerView);

    // The position a drag gives: the start plus the whole translation, one stage point = 1/scale camera pixels;
    // an axis with less than 2 pixels of travel never moves.
    static ShortFraming::Position dragged(const QSizeF& frameSize, const ShortFraming::Position& start, const QPointF& translation,
        double scale);

    // A safe zone's output rectangle (1080×1920 pixels) placed on the crop.
    QRectF zoneRect(const QRectF& outputRect) const;
    // Zone labels: none (0) up to 150 points of crop width, 8 points to 300, then 10.
    double zoneLabelSize() const;
    // The guide needs a crop over 40 points each way; "eyes here" over 140 wide, at 9 points, over 340 at 11.
    bool showsGuide() const;
    double eyesHereSize() const;
    QRectF eyeBand() const;
    QRectF faceOval() const;
    // The measured eye line's end points and its two eye points on the stage. `flipped`: the analysed picture is
    // mirrored the other way from the one shown, so the points are mirrored back onto the shown eyes.
    struct EyeLine {
        QPointF from, to, left, right;
    };
    EyeLine eyeLine(const FaceMeasurement& face, bool flipped) const;
};
