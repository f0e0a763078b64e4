#include "ui/PickerRow.h"

#include "ui/WindowStyle.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

PickerRow::PickerRow(const QString& title, int popupWidth, QWidget* parent)
    : QWidget(parent)
    , title_(new QLabel(title, this))
    , popup_(new QComboBox(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    title_->setFont(WindowStyle::font(12));
    popup_->setFont(WindowStyle::font(12));
    if (popupWidth > 0)
        popup_->setFixedWidth(popupWidth);
    else
        popup_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    row->addWidget(title_);
    if (popupWidth > 0)
        row->addStretch(1);
    row->addWidget(popup_, popupWidth > 0 ? 0 : 1);
    connect(popup_, &QComboBox::activated, this, [this](int index) { Q_EMIT activated(popup_->itemData(index)); });
}

void PickerRow::setEntries(const std::vector<Entry>& entries, const QVariant& current)
{
    const QSignalBlocker blocker(popup_);
    if (entries != this->entries()) {
        popup_->clear();
        for (const Entry& entry : entries)
            popup_->addItem(entry.text, entry.value);
    }
    int selected = -1;
    for (int i = 0; i < popup_->count(); ++i) {
        if (popup_->itemData(i) == current) {
            selected = i;
            break;
        }
    }
    popup_->setCurrentIndex(selected);
}

std::vector<PickerRow::Entry> PickerRow::entries() const
{
    std::vector<Entry> result;
    for (int i = 0; i < popup_->count(); ++i)
        result.push_back({popup_->itemText(i), popup_->itemData(i)});
    return result;
}
