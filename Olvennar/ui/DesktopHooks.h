#pragma once

#include "core/ControllerHooks.h"

#include <functional>

class ShortWindows;

// The controller's reactions that the desktop itself answers in the running app: the file manager and the
// short windows (once they are attached).
class DesktopHooks final : public ControllerHooks {
public:
    void attachShortWindows(ShortWindows* windows) { shortWindows_ = windows; }
    // Told when a reveal found nothing to show the file with, with the sentence for the footer.
    std::function<void(const QString& sentence)> onRevealFailed;

    void revealFile(const QString& path) override;
    void openShortPreview() override;
    void closeShortPreview() override;
    void closeShortWindows() override;
    void playShort(const QString& path) override;

private:
    ShortWindows* shortWindows_ = nullptr;
};
