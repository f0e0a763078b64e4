#include "ui/ChannelChip.h"

#include "ui/WindowStyle.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int horizontalPadding = 7;
constexpr int verticalPadding = 2;
}

ChannelChip::ChannelChip(RecordingChannel channel, QWidget* parent)
    : QWidget(parent)
    , channel_(channel)
{
    setFont(WindowStyle::font(10, QFont::DemiBold));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QColor ChannelChip::dorvelInk() { return QColor(34, 48, 90); }
QColor ChannelChip::dorvelMarker() { return QColor(251, 226, 122); }
QColor ChannelChip::branchlineSienna() { return QColor(180, 85, 45); }
QColor ChannelChip::branchlineLinen() { return QColor(239, 226, 212); }
QColor ChannelChip::inkwellOxblood() { return QColor(84, 19, 8); }
QColor ChannelChip::inkwellOat() { return QColor(242, 237, 226); }

QString ChannelChip::label(RecordingChannel channel)
{
    switch (channel) {
    case RecordingChannel::ai: return QStringLiteral("AI channel");
    case RecordingChannel::dorvelTalk: return QStringLiteral("Dorvel Talk");
    case RecordingChannel::branchline: return QStringLiteral("Branchline");
    case RecordingChannel::inkwell: return QStringLiteral("Inkwell Hour");
    }
    return {};
}

QColor ChannelChip::textColor(RecordingChannel channel, const QPalette& palette)
{
    switch (channel) {
    case RecordingChannel::ai: {
        QColor secondary = palette.color(QPalette::WindowText);
        secondary.setAlphaF(0.6);
        return secondary;
    }
    case RecordingChannel::dorvelTalk: return dorvelInk();
    case RecordingChannel::branchline: return branchlineSienna();
    case RecordingChannel::inkwell: return inkwellOxblood();
    }
    return {};
}

QColor ChannelChip::capsuleColor(RecordingChannel channel, const QPalette& palette)
{
    switch (channel) {
    case RecordingChannel::ai: {
        QColor fill = textColor(channel, palette);
        fill.setAlphaF(fill.alphaF() * 0.15);
        return fill;
    }
    case RecordingChannel::dorvelTalk: return dorvelMarker();
    case RecordingChannel::branchline: return branchlineLinen();
    case RecordingChannel::inkwell: return inkwellOat();
    }
    return {};
}

void ChannelChip::setChannel(RecordingChannel channel)
{
    if (channel == channel_)
        return;
    channel_ = channel;
    updateGeometry();
    update();
}

QSize ChannelChip::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(label(channel_)) + 2 * horizontalPadding, metrics.height() + 2 * verticalPadding};
}

void ChannelChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath capsule;
    const QRectF box(rect());
    capsule.addRoundedRect(box, box.height() / 2, box.height() / 2);
    painter.fillPath(capsule, capsuleColor(channel_, palette()));
    painter.setPen(textColor(channel_, palette()));
    painter.drawText(rect(), Qt::AlignCenter, label(channel_));
}
