#include "ui/LabelledSlider.h"

#include "ui/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <cstdio>

LabelledSlider::LabelledSlider(const QString& title, double minimum, double maximum, const QString& suffix, int decimals, QWidget* parent)
    : QWidget(parent)
    , minimum_(minimum)
    , maximum_(maximum)
    , suffix_(suffix)
    , decimals_(std::clamp(decimals, 0, 6))
    , value_(minimum)
    , slider_(new QSlider(Qt::Horizontal, this))
    , valueLabel_(new QLabel(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setFont(WindowStyle::font(12));
    titleLabel->setFixedWidth(66);
    titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A fine grid stands in for a continuous slider.
    slider_->setRange(0, steps);
    slider_->setSingleStep(1);
    slider_->setPageStep(steps / 20);
    valueLabel_->setFont(WindowStyle::monospaceFont(11));
    valueLabel_->setFixedWidth(46);
    valueLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    WindowStyle::setTone(valueLabel_, WindowStyle::Tone::secondary);
    row->addWidget(titleLabel);
    row->addWidget(slider_, 1);
    row->addWidget(valueLabel_);
    connect(slider_, &QSlider::valueChanged, this, [this](int position) {
        value_ = minimum_ + (maximum_ - minimum_) * position / steps;
        valueLabel_->setText(valueText());
        Q_EMIT valueEdited(value_);
    });
    setValue(minimum);
}

QString LabelledSlider::formatValue(double value, int decimals, const QString& suffix)
{
    // The C library's printf, rounding included (Qt's own formatter rounds halves differently).
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 6), value);
    return QString::fromLatin1(text) + suffix;
}

void LabelledSlider::setValue(double value)
{
    value_ = value;
    const QSignalBlocker blocker(slider_);
    slider_->setValue(position(value));
    valueLabel_->setText(valueText());
}

QString LabelledSlider::valueText() const { return formatValue(value_, decimals_, suffix_); }

int LabelledSlider::position(double value) const
{
    if (!std::isfinite(value) || maximum_ <= minimum_)
        return 0;
    const double fraction = std::clamp((value - minimum_) / (maximum_ - minimum_), 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * steps));
}
