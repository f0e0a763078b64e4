#include "ui/SectionTitle.h"

SectionTitle::SectionTitle(const QString& title, const QString& symbol, QWidget* parent)
    : IconLabel(symbol, title, WindowStyle::font(12, QFont::DemiBold), WindowStyle::Tone::primary, parent)
{
    setObjectName(QStringLiteral("sectionTitle"));
}
