#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The window's icons by symbol name ("record.circle", "trash.fill", ...): the desktop theme's icon when the
// theme has one, else a small painted drawing in the given tint so every button still shows its symbol.
namespace ThemeIcon {

// The freedesktop icon name standing in for a symbol; empty for an unknown symbol.
QString themeName(const QString& symbol);
// Theme icon when available, else the painted one.
QIcon icon(const QString& symbol, const QColor& tint);
// Always the painted drawing (what shows on a desktop without an icon theme), one icon per symbol and tint
// for the whole run; null for an unknown symbol. Main thread only.
QIcon painted(const QString& symbol, const QColor& tint);
// Whether a painted drawing exists for the symbol.
bool hasDrawing(const QString& symbol);

} // namespace ThemeIcon
