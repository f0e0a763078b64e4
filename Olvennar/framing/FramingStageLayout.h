#pragma once

#include "framing/FaceMeasurement.h"
#include "framing/ResolvedFramingCrop.h"

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <utility>

// Where the framing stage puts the camera picture and the crop, in the stage's own points (origin top-left,
// y down). In the crop view the crop fills the fitted area and the whole picture reaches past it; in the
// whole-camera view (sensor) the picture is fitted and the crop lies inside it. Pure.
struct FramingStageLayout {
    // Crops are placed undistorted by construction, so the picture is drawn at camera's width and height.
    FramingStageLayout(QSizeF size, QSizeF cameraSize, const std::optional<ResolvedFramingCrop>& crop, bool sensor);

    QRectF stage;  // the shown area, fitted and centred
    QRectF camera; // the whole picture; its size also scales normalised camera coordinates to points
    std::optional<QRectF> cropRect;

    // A normalised rectangle of the picture in stage points.
    QRectF place(const QRectF& normalised) const;
    QPointF place(const QPointF& normalised) const;

    // The eye dots of a face in stage points: the measured eyes, else a third down the face and a quarter of
    // its width in from each side.
    std::pair<QPointF, QPointF> eyeDots(const FaceMeasurement& face) const;
    // The eye line through both dots, reaching 0.6 of their distance beyond each.
    QLineF eyeLine(const FaceMeasurement& face) const;

    // The size of the band labels for a guide frame this wide; none when they would not fit.
    static std::optional<int> labelSize(double guideWidth);
    // Without a usable size the picture is taken as 16:9.
    static double cameraAspect(QSizeF cameraSize);
};
