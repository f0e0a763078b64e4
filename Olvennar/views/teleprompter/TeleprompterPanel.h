#pragma once

#include "views/teleprompter/FloatingPanel.h"

#include <QTimer>

class TeleprompterModel;
class TeleprompterView;

// The floating teleprompter panel: dragged by its background, resized at its edges, at least 560 × 200.
// Its tick drives the auto page every 1/30 s.
class TeleprompterPanel : public FloatingPanel {
    Q_OBJECT

public:
    static constexpr int tickMilliseconds = 33;

    explicit TeleprompterPanel(TeleprompterModel& model);
    ~TeleprompterPanel() override;

    TeleprompterView& view() { return *view_; }
    // Sets the geometry as the program's own placement.
    void place(const QRect& geometry);
    void orderFront();

private:
    TeleprompterView* view_;
    QTimer tick_;
};
