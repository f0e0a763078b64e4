#pragma once

class QWidget;
class Settings;

// The recordings folder chooser.
class SaveFolderDialog {
public:
    // Labelled "Save here"; stores the choice and returns true, or false on cancel.
    static bool choose(Settings& settings, QWidget* parent);
};
