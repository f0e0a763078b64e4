#include "ui/SegmentedControl.h"

#include "ui/WindowStyle.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

SegmentedControl::SegmentedControl(QWidget* parent)
    : QWidget(parent)
    , row_(new QHBoxLayout(this))
    , group_(new QButtonGroup(this))
{
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(0);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
    setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid palette(mid); border-left: none; padding: 3px 6px; background: palette(button); }"
        "QToolButton[first=\"true\"] { border-left: 1px solid palette(mid); border-top-left-radius: 5px; border-bottom-left-radius: 5px; }"
        "QToolButton[last=\"true\"] { border-top-right-radius: 5px; border-bottom-right-radius: 5px; }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); }"
        "QToolButton:disabled { color: palette(mid); }"
        "QToolButton:checked:disabled { background: palette(midlight); color: palette(dark); }"));
}

void SegmentedControl::setSegments(const QStringList& titles)
{
    if (titles == segments())
        return;
    const int selected = currentIndex();
    for (QAbstractButton* button : group_->buttons()) {
        group_->removeButton(button);
        delete button;
    }
    for (int i = 0; i < titles.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(titles[i]);
        button->setCheckable(true);
        button->setFont(WindowStyle::font(12));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setProperty("first", i == 0);
        button->setProperty("last", i == titles.size() - 1);
        group_->addButton(button, i);
        row_->addWidget(button);
    }
    setCurrentIndex(selected < titles.size() ? selected : -1);
}

QStringList SegmentedControl::segments() const
{
    QStringList titles;
    for (int i = 0; i < count(); ++i)
        titles << segment(i)->text();
    return titles;
}

int SegmentedControl::count() const { return static_cast<int>(group_->buttons().size()); }

void SegmentedControl::setCurrentIndex(int index)
{
    if (index < 0 || index >= count()) {
        // An exclusive group cannot clear its last check; switch it off for a moment.
        group_->setExclusive(false);
        for (QAbstractButton* button : group_->buttons())
            button->setChecked(false);
        group_->setExclusive(true);
        return;
    }
    segment(index)->setChecked(true);
}

int SegmentedControl::currentIndex() const { return group_->checkedId(); }

QToolButton* SegmentedControl::segment(int index) const { return qobject_cast<QToolButton*>(group_->button(index)); }
