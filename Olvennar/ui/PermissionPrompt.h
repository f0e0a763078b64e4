#pragma once

#include "ui/NoticeCard.h"

struct WindowActions;

// Stands in for the settings while screen access is missing in "Screen" mode.
class PermissionPrompt : public NoticeCard {
    Q_OBJECT

public:
    PermissionPrompt(WindowActions& actions, QWidget* parent = nullptr);

    static QString explanation();
};
