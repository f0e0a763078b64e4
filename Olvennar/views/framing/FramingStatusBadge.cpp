#include "views/framing/FramingStatusBadge.h"

#include "views/framing/FramingStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

class FramingStatusBadge::Dot final : public QWidget {
public:
    Dot(double diameter, QWidget* parent)
        : QWidget(parent)
    {
        // Three points of air above the dot line it up with the first text line.
        setFixedSize(static_cast<int>(diameter), static_cast<int>(diameter) + 3);
    }
    QColor colour;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(0, 3, width(), width()));
    }
};

FramingStatusBadge::FramingStatusBadge(bool prominent, QWidget* parent)
    : QWidget(parent)
    , prominent_(prominent)
    , dot_(new Dot(prominent ? 12 : 8, this))
    , title_(new QLabel(this))
    , text_(new QVBoxLayout)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(dot_, 0, Qt::AlignTop);
    text_->setContentsMargins(0, 0, 0, 0);
    text_->setSpacing(2);
    row->addLayout(text_, 1);
    title_->setFont(FramingStyle::font(9, QFont::Bold));
    FramingStyle::setTextColour(title_, QColor::fromRgbF(1, 1, 1, 0.55f));
    text_->addWidget(title_);
    title_->hide();
    setAdvice(FramingAdvice{});
}

void FramingStatusBadge::setAdvice(const FramingAdvice& advice, const std::optional<QString>& title)
{
    advice_ = advice;
    dot_->colour = FramingStyle::status(advice.status);
    dot_->update();
    title_->setVisible(title.has_value());
    title_->setText(title ? title->toUpper() : QString());
    while (lines_.size() > static_cast<size_t>(advice.hints.size())) {
        delete lines_.back();
        lines_.pop_back();
    }
    for (qsizetype index = 0; index < advice.hints.size(); ++index) {
        if (static_cast<size_t>(index) == lines_.size()) {
            auto* label = new QLabel(this);
            label->setWordWrap(true);
            label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
            text_->addWidget(label);
            lines_.push_back(label);
        }
        QLabel* label = lines_[static_cast<size_t>(index)];
        const bool first = index == 0;
        label->setFont(FramingStyle::font(prominent_ ? (first ? 15 : 13) : 10, first ? QFont::DemiBold : QFont::Normal));
        FramingStyle::setTextColour(label, QColor::fromRgbF(1, 1, 1, first ? 1.0f : 0.8f));
        label->setText(advice.hints[index]);
        // At most two lines each.
        label->setMaximumHeight(QFontMetrics(label->font()).lineSpacing() * 2);
    }
}

int FramingStatusBadge::idealWidth() const
{
    int text = title_->isHidden() ? 0 : QFontMetrics(title_->font()).horizontalAdvance(title_->text());
    for (const QLabel* line : lines_)
        text = std::max(text, QFontMetrics(line->font()).horizontalAdvance(line->text()));
    return dot_->width() + 8 + text + 1;
}
