#include "ui/ThemeIcon.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>
#include <utility>

namespace ThemeIcon {

namespace {

using Drawing = std::function<void(QPainter&, const QColor&)>;

// Every drawing works in a 16 x 16 box.
// The outlined circle of the pause and information symbols.
void ring(QPainter& p, const QColor& tint)
{
    p.setPen(QPen(tint, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
}

void warningTriangle(QPainter& p, const QColor& tint)
{
    QPainterPath triangle;
    triangle.moveTo(8, 1.5);
    triangle.lineTo(15, 14.5);
    triangle.lineTo(1, 14.5);
    triangle.closeSubpath();
    p.fillPath(triangle, tint);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 6), QPointF(8, 10));
    p.drawPoint(QPointF(8, 12.6));
}

void person(QPainter& p, const QColor& tint, double scale)
{
    p.setBrush(tint);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(8, 6.2), 2.6 * scale, 2.6 * scale);
    QPainterPath body;
    body.moveTo(8 - 4.8 * scale, 13.2);
    body.cubicTo(8 - 4.4 * scale, 9.6, 8 + 4.4 * scale, 9.6, 8 + 4.8 * scale, 13.2);
    body.closeSubpath();
    p.drawPath(body);
}

const QHash<QString, Drawing>& drawings()
{
    static const QHash<QString, Drawing> table{
        {QStringLiteral("record.circle"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.5));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
             p.setBrush(tint);
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(8, 8), 3.8, 3.8);
         }},
        {QStringLiteral("pause.fill"), [](QPainter& p, const QColor& tint) {
             p.fillRect(QRectF(3.5, 2.5, 3.2, 11), tint);
             p.fillRect(QRectF(9.3, 2.5, 3.2, 11), tint);
         }},
        {QStringLiteral("play.fill"), [](QPainter& p, const QColor& tint) {
             QPainterPath path;
             path.moveTo(4, 2.5);
             path.lineTo(13.5, 8);
             path.lineTo(4, 13.5);
             path.closeSubpath();
             p.fillPath(path, tint);
         }},
        {QStringLiteral("stop.fill"), [](QPainter& p, const QColor& tint) {
             QPainterPath path;
             path.addRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
             p.fillPath(path, tint);
         }},
        {QStringLiteral("trash.fill"), [](QPainter& p, const QColor& tint) {
             p.fillRect(QRectF(2.5, 3.2, 11, 1.6), tint);
             p.fillRect(QRectF(6, 1.5, 4, 1.7), tint);
             QPainterPath can;
             can.moveTo(3.8, 5.5);
             can.lineTo(12.2, 5.5);
             can.lineTo(11.4, 14.5);
             can.lineTo(4.6, 14.5);
             can.closeSubpath();
             p.fillPath(can, tint);
         }},
        {QStringLiteral("folder"), [](QPainter& p, const QColor& tint) {
             QPainterPath path;
             path.moveTo(1.5, 3.5);
             path.lineTo(6, 3.5);
             path.lineTo(7.5, 5);
             path.lineTo(14.5, 5);
             path.lineTo(14.5, 13);
             path.lineTo(1.5, 13);
             path.closeSubpath();
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawPath(path);
         }},
        {QStringLiteral("arrow.up.forward.square"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(2, 2, 12, 12), 2.5, 2.5);
             p.drawLine(QPointF(5.5, 10.5), QPointF(10.5, 5.5));
             p.drawLine(QPointF(6.5, 5.5), QPointF(10.5, 5.5));
             p.drawLine(QPointF(10.5, 5.5), QPointF(10.5, 9.5));
         }},
        {QStringLiteral("arrow.clockwise"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.5, Qt::SolidLine, Qt::RoundCap));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 300 * 16);
             QPainterPath head;
             head.moveTo(10.2, 0.8);
             head.lineTo(13.6, 3.6);
             head.lineTo(9.4, 5.2);
             head.closeSubpath();
             p.fillPath(head, tint);
         }},
        {QStringLiteral("exclamationmark.triangle.fill"), warningTriangle},
        {QStringLiteral("checkmark.circle.fill"), [](QPainter& p, const QColor& tint) {
             p.setBrush(tint);
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(8, 8), 7, 7);
             p.setPen(QPen(Qt::white, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
             p.drawPolyline(QPolygonF({QPointF(4.8, 8.3), QPointF(7, 10.5), QPointF(11.2, 5.8)}));
         }},
        {QStringLiteral("pause.circle"), [](QPainter& p, const QColor& tint) {
             ring(p, tint);
             p.fillRect(QRectF(5.8, 5, 1.5, 6), tint);
             p.fillRect(QRectF(8.7, 5, 1.5, 6), tint);
         }},
        {QStringLiteral("info.circle"), [](QPainter& p, const QColor& tint) {
             ring(p, tint);
             p.fillRect(QRectF(7.25, 7, 1.5, 4.5), tint);
             p.fillRect(QRectF(7.25, 4.4, 1.5, 1.5), tint);
         }},
        {QStringLiteral("display"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(1.5, 2.5, 13, 9), 1.5, 1.5);
             p.drawLine(QPointF(5, 14), QPointF(11, 14));
             p.drawLine(QPointF(8, 11.5), QPointF(8, 14));
         }},
        {QStringLiteral("person.crop.circle"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
             p.setClipRegion(QRegion(QRect(1, 1, 14, 14), QRegion::Ellipse));
             person(p, tint, 0.85);
         }},
        {QStringLiteral("person.crop.rectangle"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(1.5, 2, 13, 12), 2, 2);
             person(p, tint, 0.8);
         }},
        {QStringLiteral("iphone"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(4.5, 1.5, 7, 13), 1.8, 1.8);
             p.drawLine(QPointF(7, 3.2), QPointF(9, 3.2));
         }},
        {QStringLiteral("text.alignleft"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.5, Qt::SolidLine, Qt::RoundCap));
             for (const auto& [y, right] : {std::pair{3.5, 14.0}, {6.5, 10.5}, {9.5, 14.0}, {12.5, 9.0}})
                 p.drawLine(QPointF(2, y), QPointF(right, y));
         }},
        {QStringLiteral("clock"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3, Qt::SolidLine, Qt::RoundCap));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
             p.drawPolyline(QPolygonF({QPointF(8, 4), QPointF(8, 8), QPointF(10.8, 9.6)}));
         }},
        {QStringLiteral("person.crop.circle.fill"), [](QPainter& p, const QColor& tint) {
             p.setBrush(tint);
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(8, 8), 7, 7);
             p.setClipRegion(QRegion(QRect(1, 1, 14, 14), QRegion::Ellipse));
             person(p, Qt::white, 0.85);
         }},
        {QStringLiteral("rectangle.portrait"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(4, 1.5, 8, 13), 1.5, 1.5);
         }},
        {QStringLiteral("rectangle.portrait.on.rectangle.portrait"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(2.5, 3.5, 7, 11), 1.5, 1.5);
             p.drawPolyline(QPolygonF({QPointF(5.5, 3.5), QPointF(5.5, 1.5), QPointF(13.5, 1.5), QPointF(13.5, 12.5), QPointF(9.5, 12.5)}));
         }},
        {QStringLiteral("mic.fill"), [](QPainter& p, const QColor& tint) {
             p.setBrush(tint);
             p.setPen(Qt::NoPen);
             p.drawRoundedRect(QRectF(5.5, 1.5, 5, 8.5), 2.5, 2.5);
             p.setPen(QPen(tint, 1.3, Qt::SolidLine, Qt::RoundCap));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(3.5, 4, 9, 9), 180 * 16, 180 * 16);
             p.drawLine(QPointF(8, 13), QPointF(8, 15));
         }},
        {QStringLiteral("cursorarrow.click.2"), [](QPainter& p, const QColor& tint) {
             QPainterPath arrow;
             arrow.moveTo(6, 5);
             arrow.lineTo(14, 10);
             arrow.lineTo(10, 10.8);
             arrow.lineTo(8.4, 14.5);
             arrow.closeSubpath();
             p.fillPath(arrow, tint);
             p.setPen(QPen(tint, 1.2, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(4, 1.5), QPointF(4.6, 3.4));
             p.drawLine(QPointF(1.5, 4), QPointF(3.4, 4.6));
             p.drawLine(QPointF(7.5, 1.8), QPointF(6.8, 3.4));
         }},
        {QStringLiteral("dot.radiowaves.left.and.right"), [](QPainter& p, const QColor& tint) {
             p.setBrush(tint);
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(8, 8), 1.8, 1.8);
             p.setPen(QPen(tint, 1.3, Qt::SolidLine, Qt::RoundCap));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(3.5, 3.5, 9, 9), 120 * 16, 120 * 16);
             p.drawArc(QRectF(3.5, 3.5, 9, 9), -60 * 16, 120 * 16);
             p.drawArc(QRectF(1, 1, 14, 14), 130 * 16, 100 * 16);
             p.drawArc(QRectF(1, 1, 14, 14), -50 * 16, 100 * 16);
         }},
        {QStringLiteral("lock.fill"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.6));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(4.5, 2, 7, 8), 0, 180 * 16);
             p.drawLine(QPointF(4.5, 6), QPointF(4.5, 8));
             p.drawLine(QPointF(11.5, 6), QPointF(11.5, 8));
             p.setPen(Qt::NoPen);
             p.setBrush(tint);
             p.drawRoundedRect(QRectF(3, 7.5, 10, 7), 1.5, 1.5);
         }},
        {QStringLiteral("arrow.left.and.right"), [](QPainter& p, const QColor& tint) {
             p.setPen(QPen(tint, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
             p.setBrush(Qt::NoBrush);
             p.drawLine(QPointF(2, 8), QPointF(14, 8));
             p.drawPolyline(QPolygonF({QPointF(5, 5), QPointF(2, 8), QPointF(5, 11)}));
             p.drawPolyline(QPolygonF({QPointF(11, 5), QPointF(14, 8), QPointF(11, 11)}));
         }},
    };
    return table;
}

const QHash<QString, QString>& themeNames()
{
    static const QHash<QString, QString> table{
        {QStringLiteral("record.circle"), QStringLiteral("media-record")},
        {QStringLiteral("pause.fill"), QStringLiteral("media-playback-pause")},
        {QStringLiteral("play.fill"), QStringLiteral("media-playback-start")},
        {QStringLiteral("stop.fill"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("trash.fill"), QStringLiteral("user-trash")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("arrow.up.forward.square"), QStringLiteral("document-open-folder")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-ok")},
        {QStringLiteral("pause.circle"), QStringLiteral("media-playback-pause")},
        {QStringLiteral("info.circle"), QStringLiteral("dialog-information")},
        {QStringLiteral("display"), QStringLiteral("video-display")},
        {QStringLiteral("person.crop.circle"), QStringLiteral("camera-web")},
        {QStringLiteral("person.crop.rectangle"), QStringLiteral("camera-photo")},
        {QStringLiteral("iphone"), QStringLiteral("phone")},
        {QStringLiteral("text.alignleft"), QStringLiteral("format-justify-left")},
        {QStringLiteral("clock"), QStringLiteral("appointment-soon")},
        {QStringLiteral("person.crop.circle.fill"), QStringLiteral("avatar-default")},
        {QStringLiteral("rectangle.portrait"), QStringLiteral("phone")},
        {QStringLiteral("rectangle.portrait.on.rectangle.portrait"), QStringLiteral("view-fullscreen")},
        {QStringLiteral("mic.fill"), QStringLiteral("audio-input-microphone")},
        {QStringLiteral("cursorarrow.click.2"), QStringLiteral("input-mouse")},
        {QStringLiteral("dot.radiowaves.left.and.right"), QStringLiteral("network-wireless")},
        {QStringLiteral("lock.fill"), QStringLiteral("object-locked")},
        {QStringLiteral("arrow.left.and.right"), QStringLiteral("object-flip-horizontal")},
    };
    return table;
}

} // namespace

QString themeName(const QString& symbol) { return themeNames().value(symbol); }

bool hasDrawing(const QString& symbol) { return drawings().contains(symbol); }

QIcon painted(const QString& symbol, const QColor& tint)
{
    const auto found = drawings().constFind(symbol);
    if (found == drawings().constEnd())
        return {};
    // One icon per symbol and tint for the whole run: every fresh icon's scaled pixmaps would go into the
    // pixmap cache under new keys, and the window asks again on every refresh. Main thread only.
    static QHash<QPair<QString, QRgb>, QIcon> made;
    const QPair<QString, QRgb> key(symbol, tint.rgba());
    if (const auto known = made.constFind(key); known != made.constEnd())
        return *known;
    QIcon result;
    // Two scales so the drawing stays crisp at 1x and 2x.
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        (*found)(painter, tint);
        painter.end();
        result.addPixmap(pixmap);
    }
    made.insert(key, result);
    return result;
}

QIcon icon(const QString& symbol, const QColor& tint)
{
    const QString name = themeName(symbol);
    if (!name.isEmpty() && QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return painted(symbol, tint);
}

} // namespace ThemeIcon
