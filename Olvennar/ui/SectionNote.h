#pragma once

// Whole, not declared: callers add the note to layouts as a QWidget.
#include <QLabel>

class QString;
class QWidget;

// A section's explanation: 11 px, secondary, wrapping to its full height.
namespace SectionNote {

QLabel* make(const QString& name, const QString& text, QWidget* parent);

} // namespace SectionNote
