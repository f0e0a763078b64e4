#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

// The text notation of stored rectangles, sizes and points: "{{x, y}, {w, h}}", "{w, h}" and "{x, y}".
// Reading is lenient like the notation's own readers within the form: a text that opens with the form's braces
// has its numbers taken in order, missing ones 0; a text in any other form ("800x400") reads as the zero
// rectangle, size or point.
namespace RectNotation {

QString fromRect(const QRectF& rect);
QString fromSize(QSizeF size);
QString fromPoint(QPointF point);
QRectF rect(const QString& text);
QSizeF size(const QString& text);
QPointF point(const QString& text);

} // namespace RectNotation
