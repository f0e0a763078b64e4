#pragma once

#include "ui/IconLabel.h"

// A section's heading: its symbol and title, 12 px semibold.
class SectionTitle : public IconLabel {
    Q_OBJECT

public:
    SectionTitle(const QString& title, const QString& symbol, QWidget* parent = nullptr);
};
