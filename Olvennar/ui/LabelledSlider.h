#pragma once

#include <QWidget>

class QLabel;
class QSlider;

// A titled continuous slider over a closed range with its value printed beside it ("%.<decimals>f" and a
// suffix: 300px, 1.90×). `valueEdited` reports the user's drags only.
class LabelledSlider : public QWidget {
    Q_OBJECT

public:
    LabelledSlider(const QString& title, double minimum, double maximum, const QString& suffix, int decimals, QWidget* parent = nullptr);

    // printf "%.<decimals>f" followed by the suffix.
    static QString formatValue(double value, int decimals, const QString& suffix);

    // Clamped to the range for the handle; the printed value is the model's own.
    void setValue(double value);
    double value() const { return value_; }
    QString valueText() const;
    QSlider* slider() const { return slider_; }

Q_SIGNALS:
    void valueEdited(double value);

private:
    static constexpr int steps = 1000;
    int position(double value) const;

    double minimum_;
    double maximum_;
    QString suffix_;
    int decimals_;
    double value_;
    QSlider* slider_;
    QLabel* valueLabel_;
};
