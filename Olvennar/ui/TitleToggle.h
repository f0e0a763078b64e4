#pragma once

#include <QCheckBox>

// A switch whose label is a section title (symbol and 12 px semibold text).
class TitleToggle : public QCheckBox {
    Q_OBJECT

public:
    TitleToggle(const QString& title, const QString& symbol, QWidget* parent = nullptr);
};
