#pragma once

#include "views/teleprompter/PanelDragger.h"

#include <QTimer>
#include <QWidget>

class TeleprompterModel;
class TeleprompterView;

// The floating teleprompter panel: frameless, never taking the focus, above every window and on every
// workspace (it bypasses the window manager, as the camera bubble does; the screen recorder leaves the
// studio's own windows out of the movie). Dragged by its background, resized at its edges, at least
// 560 × 200. Its tick drives the auto page every 1/30 s.
class TeleprompterPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int tickMilliseconds = 33;

    explicit TeleprompterPanel(TeleprompterModel& model);
    ~TeleprompterPanel() override;

    TeleprompterView& view() { return *view_; }
    // Sets the geometry as the program's own placement.
    void place(const QRect& geometry);
    void orderFront();

Q_SIGNALS:
    // The user moved or resized the panel.
    void movedByUser();

private:
    TeleprompterView* view_;
    PanelDragger* dragger_;
    QTimer tick_;
};
