#pragma once

#include "takedata/RecordingChannel.h"

#include <QColor>
#include <QWidget>

// A channel's name on a capsule in the channel's colours, never truncated or wrapped.
class ChannelChip : public QWidget {
    Q_OBJECT

public:
    explicit ChannelChip(RecordingChannel channel, QWidget* parent = nullptr);

    static QColor dorvelInk();
    static QColor dorvelMarker();
    static QColor branchlineSienna();
    static QColor branchlineLinen();
    static QColor inkwellOxblood();
    static QColor inkwellOat();

    static QString label(RecordingChannel channel);
    // The `ai` chip takes the palette's secondary text colour, and that colour at 15 % for its capsule.
    static QColor textColor(RecordingChannel channel, const QPalette& palette);
    static QColor capsuleColor(RecordingChannel channel, const QPalette& palette);

    RecordingChannel channel() const { return channel_; }
    void setChannel(RecordingChannel channel);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RecordingChannel channel_;
};
