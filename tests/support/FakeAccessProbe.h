#pragma once

#include "platform/system/AccessProbe.h"

#include <QStringList>

// Reports whatever the test sets.
class FakeAccessProbe final : public AccessProbe {
public:
    Permissions::State screenState = Permissions::State::granted;
    Permissions::State microphoneState = Permissions::State::granted;
    Permissions::State cameraState = Permissions::State::granted;
    Permissions::State inputState = Permissions::State::granted;
    Permissions::State speechState = Permissions::State::granted;

    Permissions::State screen() override { return screenState; }
    Permissions::State microphone() override { return microphoneState; }
    Permissions::State camera() override { return cameraState; }
    Permissions::State inputMonitoring() override { return inputState; }
    Permissions::State speech() override { return speechState; }
    // The panes whose instruction was shown, in order.
    QStringList instructionsShown;
    void showInstruction(const QString& pane) override { instructionsShown << pane; }
};
