#include "ui/HeaderBar.h"

#include "core/RecordingController.h"
#include "platform/system/Edition.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

StatusDot::StatusDot(QWidget* parent)
    : QWidget(parent)
    , color_(WindowStyle::gold())
{
    setObjectName(QStringLiteral("statusDot"));
    setFixedSize(9, 9);
}

void StatusDot::setColor(const QColor& color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void StatusDot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(QRectF(rect()));
}

HeaderBar::HeaderBar(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , dot_(new StatusDot(this))
    , timer_(new QLabel(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(20, 18, 20, 14);
    row->setSpacing(8);
    auto* name = new QLabel(Edition::appName(), this);
    name->setObjectName(QStringLiteral("appName"));
    name->setFont(WindowStyle::font(15, QFont::DemiBold));
    timer_->setObjectName(QStringLiteral("timer"));
    timer_->setFont(WindowStyle::monospaceFont(15, QFont::Medium));
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    row->addWidget(name, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(timer_, 0, Qt::AlignVCenter);
    sync();
}

WindowStyle::Tone HeaderBar::timerTone(const RecordingController& controller)
{
    using Tone = WindowStyle::Tone;
    if (controller.phase().kind() == RecordingPhase::Kind::paused)
        return Tone::secondary;
    if (controller.captureMode() == CaptureMode::short_) {
        if (controller.elapsed() >= 60)
            return Tone::red;
        if (controller.elapsed() >= 40)
            return Tone::orange;
    }
    return Tone::primary;
}

void HeaderBar::sync()
{
    const auto kind = controller_.phase().kind();
    dot_->setColor(kind == RecordingPhase::Kind::recording ? WindowStyle::recordingDot() : WindowStyle::gold());
    const bool timing = kind == RecordingPhase::Kind::recording || kind == RecordingPhase::Kind::paused;
    // The slot keeps its place empty, so the name never moves.
    timer_->setText(timing ? RecordingController::timeString(controller_.elapsed()) : QString());
    WindowStyle::setTone(timer_, timerTone(controller_));
}
