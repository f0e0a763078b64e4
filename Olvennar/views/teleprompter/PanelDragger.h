#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>
#include <optional>

class QMouseEvent;
class QWidget;

// Moves a frameless top-level window dragged by its background and, when resizable, resizes it from a band
// along its edges; it filters the window's own mouse events (its controls keep theirs).
//
// The window system reports geometry changes late, after the call that made them has returned, so a move or
// resize counts as the user's (`movedByUser`) only after a press on the window; a placement by the program
// calls forgetPress() first.
class PanelDragger : public QObject {
    Q_OBJECT

public:
    static constexpr int edgeBand = 6;

    PanelDragger(QWidget& window, bool resizable);

    void forgetPress() { userPressed_ = false; }
    bool userPressed() const { return userPressed_; }

    // Which edges a press at `local` grabs, as Qt::Edges bits (0: a drag of the whole window).
    static int edgesAt(QPoint local, QSize size, int band);
    // The geometry after dragging `edges` by `delta`, never smaller than `minimum`.
    static QRect resized(const QRect& start, int edges, QPoint delta, QSize minimum);

    std::function<void()> movedByUser;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool press(QMouseEvent* event);
    bool move(QMouseEvent* event);
    bool release(QMouseEvent* event);

    QWidget& window_;
    bool resizable_;
    bool userPressed_ = false;
    std::optional<QPoint> pressAt_;
    QRect pressGeometry_;
    int edges_ = 0;
};
