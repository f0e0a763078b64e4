#include "teleprompter/TeleprompterPalette.h"

namespace {

QColor rgb(int r, int g, int b, double opacity = 1.0)
{
    QColor colour(r, g, b);
    colour.setAlphaF(static_cast<float>(opacity));
    return colour;
}

} // namespace

const TeleprompterPalette& TeleprompterPalette::light()
{
    static const TeleprompterPalette palette{rgb(245, 237, 216), rgb(20, 9, 3), rgb(207, 148, 136, 0.30), rgb(184, 103, 90),
        rgb(245, 237, 216, 0.94), rgb(44, 21, 8)};
    return palette;
}

const TeleprompterPalette& TeleprompterPalette::dark()
{
    static const TeleprompterPalette palette{rgb(14, 11, 9), rgb(255, 246, 234), rgb(231, 149, 196, 0.16), rgb(231, 149, 196),
        rgb(28, 22, 18, 0.94), rgb(245, 237, 216)};
    return palette;
}

const TeleprompterPalette& TeleprompterPalette::forTheme(const QString& theme)
{
    return theme == u"dark" ? dark() : light();
}

QColor TeleprompterPalette::actionYellow() { return QColor::fromRgbF(0.98f, 0.80f, 0.20f); }
QColor TeleprompterPalette::orbGreen() { return QColor::fromRgbF(0.62f, 0.80f, 0.72f); }
QColor TeleprompterPalette::cueGold() { return QColor::fromRgbF(0.83f, 0.68f, 0.35f); }
QColor TeleprompterPalette::halo(bool dark) { return dark ? QColor(Qt::black) : rgb(245, 237, 216); }
