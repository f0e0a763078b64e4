#pragma once

#include "framing/FramingReport.h"

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

class QLabel;
class QVBoxLayout;

// A verdict: a dot in the status colour beside an optional upper-case title and the hint lines. Prominent
// badges head the framing check (large dot, large first line); small ones name one crop.
class FramingStatusBadge : public QWidget {
    Q_OBJECT

public:
    FramingStatusBadge(bool prominent, QWidget* parent = nullptr);

    void setAdvice(const FramingAdvice& advice, const std::optional<QString>& title = std::nullopt);

    const FramingAdvice& advice() const { return advice_; }
    bool isProminent() const { return prominent_; }
    double dotDiameter() const { return prominent_ ? 12 : 8; }
    // As wide as its longest line unbroken; narrower offers wrap the lines.
    int idealWidth() const;
    // The title label (hidden without a title) and one label per hint line, in order.
    QLabel* titleLabel() const { return title_; }
    const std::vector<QLabel*>& lineLabels() const { return lines_; }

private:
    class Dot;

    bool prominent_;
    FramingAdvice advice_;
    Dot* dot_;
    QLabel* title_;
    QVBoxLayout* text_;
    std::vector<QLabel*> lines_;
};
