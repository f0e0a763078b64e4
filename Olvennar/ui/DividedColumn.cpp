#include "ui/DividedColumn.h"

#include "ui/Divider.h"

#include <QEvent>
#include <QVBoxLayout>

DividedColumn::DividedColumn(double dividerOpacity, int spacing, QWidget* parent)
    : QWidget(parent)
    , dividerOpacity_(dividerOpacity)
    , layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(spacing);
}

void DividedColumn::addMember(QWidget* member)
{
    if (!members_.isEmpty()) {
        auto* divider = new Divider(dividerOpacity_, this);
        dividers_ << divider;
        layout_->addWidget(divider);
    }
    members_ << member;
    layout_->addWidget(member);
    member->installEventFilter(this);
    updateDividers();
}

void DividedColumn::updateDividers()
{
    bool shownBefore = false;
    for (int i = 0; i < members_.size(); ++i) {
        const bool shown = !members_[i]->isHidden();
        if (i > 0)
            dividers_[i - 1]->setVisible(shown && shownBefore);
        shownBefore = shownBefore || shown;
    }
}

int DividedColumn::shownDividerCount() const
{
    int count = 0;
    for (const Divider* divider : dividers_)
        count += divider->isHidden() ? 0 : 1;
    return count;
}

bool DividedColumn::eventFilter(QObject* watched, QEvent* event)
{
    // A member shown or hidden by its own section keeps the rules right without a call from outside.
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        updateDividers();
    return QWidget::eventFilter(watched, event);
}
