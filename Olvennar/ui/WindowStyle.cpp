#include "ui/WindowStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QFontMetrics>
#include <QPushButton>
#include <QVariant>

namespace WindowStyle {

namespace {
QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(alpha);
    return color;
}

const char* toneName(Tone tone)
{
    switch (tone) {
    case Tone::primary: return "primary";
    case Tone::secondary: return "secondary";
    case Tone::tertiary: return "tertiary";
    case Tone::orange: return "orange";
    case Tone::red: return "red";
    case Tone::green: return "green";
    case Tone::accent: return "accent";
    }
    return "primary";
}
} // namespace

QColor gold() { return QColor::fromRgbF(0.83f, 0.68f, 0.35f); }
QColor recordingDot() { return QColor::fromRgbF(0.83f, 0.64f, 0.60f); }
QColor systemRed() { return QColor(255, 59, 48); }
QColor systemOrange() { return QColor(255, 149, 0); }
QColor noticeFill() { return withAlpha(systemOrange(), 0.12); }

QColor color(Tone tone, const QWidget* context)
{
    const QPalette palette = context ? context->palette() : QApplication::palette();
    const QColor text = palette.color(QPalette::WindowText);
    switch (tone) {
    case Tone::primary: return text;
    case Tone::secondary: return withAlpha(text, 0.6);
    case Tone::tertiary: return withAlpha(text, 0.38);
    case Tone::orange: return systemOrange();
    case Tone::red: return systemRed();
    case Tone::green: return QColor(40, 160, 70);
    case Tone::accent: return palette.color(QPalette::Highlight);
    }
    return text;
}

void setTone(QWidget* widget, Tone tone)
{
    QPalette palette = widget->palette();
    const QColor value = color(tone, widget->parentWidget());
    palette.setColor(QPalette::WindowText, value);
    palette.setColor(QPalette::Text, value);
    widget->setPalette(palette);
    widget->setProperty("tone", QString::fromLatin1(toneName(tone)));
}

QFont font(int pixelSize, QFont::Weight weight)
{
    QFont result = QApplication::font();
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

QFont monospaceFont(int pixelSize, QFont::Weight weight)
{
    QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

void makeProminent(QPushButton* button, const QColor& tint)
{
    const QColor fill = tint.isValid() ? tint : button->palette().color(QPalette::Highlight);
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
                                         " padding: 4px 12px; font-weight: 600; }"
                                         "QPushButton:pressed { background: %2; }"
                                         "QPushButton:disabled { background: %3; }")
                              .arg(fill.name(), fill.darker(125).name(), fill.lighter(150).name()));
}

void makeBordered(QPushButton* button, const QColor& tint)
{
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 6px;"
                                         " padding: 4px 8px; }"
                                         "QPushButton:pressed { background: %4; }")
                              .arg(withAlpha(tint, 0.10).name(QColor::HexArgb), tint.name(), withAlpha(tint, 0.45).name(QColor::HexArgb),
                                  withAlpha(tint, 0.22).name(QColor::HexArgb)));
}

void makeLarge(QPushButton* button)
{
    button->setMinimumHeight(32);
    button->setFont(font(13));
}

void makeSmall(QPushButton* button)
{
    button->setFont(font(11));
    button->setFixedHeight(22);
}

void makeMini(QPushButton* button)
{
    button->setFont(font(10));
    button->setFixedHeight(18);
    // As wide as the title: the style's minimum push-button width is meant for dialog buttons.
    button->setFixedWidth(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 14);
}

} // namespace WindowStyle
