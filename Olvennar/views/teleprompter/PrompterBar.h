#pragma once

#include <QColor>
#include <QWidget>

class QHBoxLayout;

// A capsule of controls floating at the bottom centre of a teleprompter page.
class PrompterBar : public QWidget {
    Q_OBJECT

public:
    PrompterBar(QColor fill, QMargins padding, bool shadow, QWidget* parent);

    QHBoxLayout* row() const { return row_; }
    void setFill(QColor fill);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    bool shadow_;
    QHBoxLayout* row_;
};
