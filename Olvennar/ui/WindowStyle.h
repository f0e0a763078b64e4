#pragma once

#include <QColor>
#include <QFont>

class QPushButton;
class QWidget;

// The main window's type scale, colours and button looks. Sizes are pixels, so the 400-wide column keeps
// its proportions whatever the desktop's point size is.
namespace WindowStyle {

// How strongly a text stands out, from the palette; named colours for warnings, failures and success.
enum class Tone { primary, secondary, tertiary, orange, red, green, accent };

QColor color(Tone tone, const QWidget* context = nullptr);
// Applies the tone to the widget's text and records it in the "tone" property.
void setTone(QWidget* widget, Tone tone);

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont monospaceFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// The window's accent (status dot in every phase but recording) and the recording dot.
QColor gold();
QColor recordingDot();
QColor noticeFill();
QColor systemRed();
QColor systemOrange();

// Filled with the tint (the palette's accent when invalid), white text.
void makeProminent(QPushButton* button, const QColor& tint = {});
// Outlined, text and icon in the tint.
void makeBordered(QPushButton* button, const QColor& tint);
// Large buttons stand 32 px tall, small ones 22 px with an 11 px label.
void makeLarge(QPushButton* button);
void makeSmall(QPushButton* button);
// Mini buttons (the job rows' Reveal, Retry and ✕) stand 18 px tall with a 10 px label.
void makeMini(QPushButton* button);

} // namespace WindowStyle
