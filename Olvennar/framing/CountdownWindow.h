#pragma once

#include "framing/CountdownModel.h"

#include <QPointer>
#include <QRect>

#include <memory>

#include <qcorotask.h>

class CancelToken;
class QWidget;

// The circular countdown in the middle of the recorded display, one step a second. Click-through,
// always on top, never takes focus.
class CountdownWindow {
public:
    static constexpr int panelSize = 260;

    CountdownWindow();
    ~CountdownWindow();

    CountdownModel& model() { return model_; }
    QWidget* panel() const;

    // Counts from..1 on the screen with the given geometry (X11 coordinates). True when it ran to the end;
    // false when the token was cancelled, in which case the remaining numbers flash by without waiting.
    QCoro::Task<bool> run(QRect screenGeometry, int from, CancelToken* token = nullptr);

    // The panel's rectangle centred on the screen.
    static QRect panelRect(const QRect& screenGeometry);

private:
    CountdownModel model_;
    std::unique_ptr<QWidget> panel_;
};
