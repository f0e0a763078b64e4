#pragma once

#include <QWidget>

#include <functional>

class QPainter;

// A see-through layer over a picture widget that draws with the owner's routine and lets every pointer event
// through to the widget below it.
class ShortStageOverlay : public QWidget {
    Q_OBJECT

public:
    ShortStageOverlay(std::function<void(QPainter&)> draw, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void(QPainter&)> draw_;
};
