#pragma once

#include <QColor>
#include <QString>

// The colours of the teleprompter's pages: the cream and the dark theme of the follow page and its bar, and
// the constant colours of cards and blocks.
struct TeleprompterPalette {
    QColor page;
    QColor ink;
    QColor band;
    QColor accent;
    QColor chrome;
    QColor chromeInk;

    static const TeleprompterPalette& light();
    static const TeleprompterPalette& dark();
    // Exactly "dark" is the dark theme; every other text the cream one.
    static const TeleprompterPalette& forTheme(const QString& theme);

    static QColor actionYellow();
    static QColor orbGreen();
    static QColor cueGold();
    // The halo behind follow-page text: black on the dark theme, the cream page colour otherwise.
    static QColor halo(bool dark);
};
