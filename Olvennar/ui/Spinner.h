#pragma once

#include <QWidget>

class QTimer;

// A small indeterminate progress wheel; it turns only while visible.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(int side = 16, QWidget* parent = nullptr);

    bool isSpinning() const;
    QSize sizeHint() const override { return {side_, side_}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int side_;
    int step_ = 0;
    QTimer* timer_;
};
