#pragma once

#include "platform/system/AccessProbe.h"

#include <functional>

class LinuxAccessProbe final : public AccessProbe {
public:
    Permissions::State screen() override;
    Permissions::State microphone() override;
    Permissions::State camera() override;
    Permissions::State inputMonitoring() override;
    Permissions::State speech() override;
    void showInstruction(const QString& pane) override;

    // The window layer's dialog, installed by the application; none: instructions are not shown.
    std::function<void(const QString& pane)> instructionView;
};
