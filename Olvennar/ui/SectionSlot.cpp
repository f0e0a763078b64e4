#include "ui/SectionSlot.h"

#include <QVBoxLayout>

SectionSlot::SectionSlot(const QString& name, QWidget* parent)
    : QWidget(parent)
    , layout_(new QVBoxLayout(this))
{
    setObjectName(name);
    layout_->setContentsMargins(0, 0, 0, 0);
    setVisible(false);
}

void SectionSlot::setSection(QWidget* section)
{
    if (section == section_)
        return;
    delete section_;
    section_ = section;
    if (section_)
        layout_->addWidget(section_);
    setVisible(section_ != nullptr);
}
