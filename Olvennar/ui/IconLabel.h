#pragma once

#include "ui/WindowStyle.h"

#include <QColor>
#include <QWidget>

#include <optional>

class QLabel;

// A symbol followed by a text, both in one tone: the window's labels with an icon (section titles, the
// saved line, the failure line, the pause note). A wrapping label grows to its full height.
class IconLabel : public QWidget {
    Q_OBJECT

public:
    IconLabel(const QString& symbol, const QString& text, const QFont& font, WindowStyle::Tone tone, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;
    void setWordWrap(bool wrap);
    void setTone(WindowStyle::Tone tone);
    // A colour of its own for the symbol and the text, outside the window's tones.
    void setColor(const QColor& color);
    void setSymbol(const QString& symbol);
    QLabel* textLabel() const { return text_; }

private:
    void paintIcon();

    QString symbol_;
    WindowStyle::Tone tone_;
    std::optional<QColor> color_;
    QLabel* icon_;
    QLabel* text_;
};
