#pragma once

#include <QWidget>

// A one-pixel horizontal rule in the text colour at the given opacity.
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(double opacity, QWidget* parent = nullptr);

    double opacity() const { return opacity_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double opacity_;
};
