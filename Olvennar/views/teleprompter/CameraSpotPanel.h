#pragma once

#include "views/teleprompter/PanelDragger.h"

#include <QWidget>

#include <array>

class QPushButton;
class TeleprompterModel;

// The camera-spot marker's panel: a red cross at the top and a dark card with the instruction, the camera
// side picker and Done. Dragged by its background; it never takes the focus.
class CameraSpotPanel : public QWidget {
    Q_OBJECT

public:
    explicit CameraSpotPanel(TeleprompterModel& model);

    QPushButton* sideButton(int index) const { return sides_[static_cast<size_t>(index)]; }
    QPushButton* doneButton() const { return done_; }

Q_SIGNALS:
    void movedByUser();
    void doneClicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void syncSides();

    TeleprompterModel& model_;
    PanelDragger* dragger_;
    std::array<QPushButton*, 3> sides_{};
    QPushButton* done_;
    QWidget* card_;
};
