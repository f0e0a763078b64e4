#include "ui/SectionNote.h"

#include "ui/WindowStyle.h"

#include <QLabel>

namespace SectionNote {

QLabel* make(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(WindowStyle::font(11));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    WindowStyle::setTone(label, WindowStyle::Tone::secondary);
    return label;
}

} // namespace SectionNote
