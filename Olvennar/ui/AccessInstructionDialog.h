#pragma once

class QString;
class QWidget;

// The Linux stand-in for opening a privacy pane: a message box with the instruction for that access.
class AccessInstructionDialog {
public:
    // No-op for an unknown pane.
    static void open(const QString& pane, QWidget* parent);
};
