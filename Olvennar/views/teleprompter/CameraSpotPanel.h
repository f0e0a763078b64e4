#pragma once

#include "views/teleprompter/FloatingPanel.h"

#include <array>

class QPushButton;
class TeleprompterModel;

// The camera-spot marker's panel: a red cross at the top and a dark card with the instruction, the camera
// side picker and Done. Dragged by its background, never resized.
class CameraSpotPanel : public FloatingPanel {
    Q_OBJECT

public:
    explicit CameraSpotPanel(TeleprompterModel& model);

    QPushButton* sideButton(int index) const { return sides_[static_cast<size_t>(index)]; }
    QPushButton* doneButton() const { return done_; }

Q_SIGNALS:
    void doneClicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void syncSides();

    TeleprompterModel& model_;
    std::array<QPushButton*, 3> sides_{};
    QPushButton* done_;
    QWidget* card_;
};
