#include "ui/SegmentedRow.h"

#include "ui/SegmentedControl.h"
#include "ui/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>

SegmentedRow::SegmentedRow(const QString& title, const QStringList& segments, int width, QWidget* parent)
    : QWidget(parent)
    , control_(new SegmentedControl(this))
{
    control_->setSegments(segments);
    control_->setFixedWidth(width);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(title, this);
    label->setFont(WindowStyle::font(12));
    row->addWidget(label);
    row->addStretch(1);
    row->addWidget(control_);
}
