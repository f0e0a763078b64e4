#pragma once

#include <QObject>
#include <QPointer>

class QScrollArea;

// Scrolling the settings column must never change a setting: a pop-up, slider or spin box under the
// pointer takes the wheel only while it has the keyboard focus (clicked or tabbed to); otherwise the
// column scrolls. Such controls in the column also stop taking the focus from the wheel itself.
class WheelGuard : public QObject {
    Q_OBJECT

public:
    explicit WheelGuard(QScrollArea* area);

    // A control that reacts to the wheel: combo boxes, sliders and spin boxes.
    static bool takesWheel(const QObject* object);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool inColumn(const QWidget* widget) const;

    QPointer<QScrollArea> area_;
};
