#pragma once

// Whole, so a caller can hand the note to a layout as the widget it is.
#include <QLabel>

// A section's explanation: 11 px, secondary, wrapping to its full height.
namespace SectionNote {

QLabel* make(const QString& name, const QString& text, QWidget* parent);

} // namespace SectionNote
