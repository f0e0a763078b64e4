#pragma once

#include "platform/system/AccessProbe.h"

class LinuxAccessProbe final : public AccessProbe {
public:
    Permissions::State screen() override;
    Permissions::State microphone() override;
    Permissions::State camera() override;
    Permissions::State inputMonitoring() override;
    Permissions::State speech() override;
};
