#pragma once

#include <QString>
#include <QWidget>

class PanelDragger;

// A floating panel of the studio: frameless, never taking the focus, above every window and on every
// workspace (it bypasses the window manager; the screen recorder leaves the studio's own windows out of the
// movie). Dragged by its background and, when resizable, resized at its edges. Main thread only.
class FloatingPanel : public QWidget {
    Q_OBJECT

public:
    FloatingPanel(const QString& title, bool resizable);
    ~FloatingPanel() override;

Q_SIGNALS:
    // The user moved or resized the panel (never a placement by the program).
    void movedByUser();

protected:
    PanelDragger& dragger() { return *dragger_; }

private:
    PanelDragger* dragger_;
};
