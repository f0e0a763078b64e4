#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

class QHBoxLayout;

// A capsule of controls floating at the bottom centre of a teleprompter page. A bar with a shadow is larger
// than its capsule by the shadow's margins, so the blur has room around it.
class PrompterBar : public QWidget {
    Q_OBJECT

public:
    PrompterBar(QColor fill, QMargins padding, bool shadow, QWidget* parent);

    QHBoxLayout* row() const { return row_; }
    void setFill(QColor fill);
    // Between the capsule and the widget's edges; none without a shadow.
    QMargins shadowMargins() const;
    QRect capsule() const { return rect().marginsRemoved(shadowMargins()); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    bool shadow_;
    QHBoxLayout* row_;
    QImage shade_; // the blurred shadow for the current size
};
