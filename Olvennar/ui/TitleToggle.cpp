#include "ui/TitleToggle.h"

#include "ui/ThemeIcon.h"
#include "ui/WindowStyle.h"

TitleToggle::TitleToggle(const QString& title, const QString& symbol, QWidget* parent)
    : QCheckBox(title, parent)
{
    setFont(WindowStyle::font(12, QFont::DemiBold));
    setIcon(ThemeIcon::icon(symbol, WindowStyle::color(WindowStyle::Tone::primary)));
    setIconSize(QSize(14, 14));
}
