#pragma once

#include "core/QuitGuard.h"

class QWidget;

// The quit guard's question as a modal message box.
class QuitAlertDialog {
public:
    // The chosen button's index: 1 for "Quit anyway", 0 for "Keep open" (also Return and Escape).
    static int run(const QuitGuard::Alert& alert, QWidget* parent);
};
