#pragma once

#include "ui/WindowStyle.h"

#include <QWidget>

class QLabel;
class RecordingController;
class StatusDot;

// The top row: status dot, the application's name and, while a take runs or is paused, its timer.
class HeaderBar : public QWidget {
    Q_OBJECT

public:
    explicit HeaderBar(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

    // Paused: secondary. A short: red from 60 s, orange from 40 s. Otherwise primary.
    static WindowStyle::Tone timerTone(const RecordingController& controller);

private:
    RecordingController& controller_;
    StatusDot* dot_;
    QLabel* timer_;
};

// The 9 px dot of the header, filled with one colour.
class StatusDot : public QWidget {
    Q_OBJECT

public:
    explicit StatusDot(QWidget* parent = nullptr);
    void setColor(const QColor& color);
    QColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};
