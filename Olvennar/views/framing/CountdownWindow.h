#pragma once

#include "framing/CountdownDisplay.h"
#include "framing/CountdownModel.h"
#include "framing/SpringMotion.h"

#include <QPointer>
#include <QRect>

#include <memory>

#include <qcorotask.h>

class CancelToken;
class QWidget;

// The circular countdown in the middle of the recorded display, one step a second. Click-through,
// always on top, never takes focus.
class CountdownWindow final : public CountdownDisplay {
public:
    static constexpr int panelSize = 260;
    // Each new number springs in: response 0.25 s, damping fraction 0.85.
    static constexpr SpringMotion numberSpring{0.25, 0.85};

    CountdownWindow();
    ~CountdownWindow() override;

    CountdownModel& model() { return model_; }
    QWidget* panel() const;
    // How far the number on show has come in: from 0 as it changes to 1 once its spring settles.
    double numberTransition() const;

    // Counts from..1 on the screen with the given geometry (X11 coordinates). True when it ran to the end;
    // false when the token was cancelled, in which case the remaining numbers flash by without waiting.
    QCoro::Task<bool> run(QRect screenGeometry, int from, CancelToken* token = nullptr) override;

    // The panel's rectangle centred on the screen.
    static QRect panelRect(const QRect& screenGeometry);

private:
    class View;

    CountdownModel model_;
    std::unique_ptr<View> panel_;
};
