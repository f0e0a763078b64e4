#pragma once

#include "ui/WindowStyle.h"

#include <QString>
#include <QUuid>

#include <vector>

// What one row of a job list shows: a spinner or a symbol, one text, and the buttons that fit the job's
// state. Rows are compared whole, so a list is rebuilt only when something shown changed.
struct JobRow {
    enum class Button { reveal, retry, dismiss };

    QUuid id;
    bool spinner = false;
    QString symbol; // when there is no spinner
    WindowStyle::Tone symbolTone = WindowStyle::Tone::secondary;
    QString text;
    WindowStyle::Tone textTone = WindowStyle::Tone::secondary;
    int maximumLines = 1;
    std::vector<Button> buttons;
    // The file "Reveal" shows.
    QString revealPath;
    friend bool operator==(const JobRow&, const JobRow&) = default;
};
