#pragma once

#include "core/ControllerHooks.h"

// The controller's reactions that the desktop itself answers in the running app (the file manager).
class DesktopHooks final : public ControllerHooks {
public:
    void revealFile(const QString& path) override;
};
