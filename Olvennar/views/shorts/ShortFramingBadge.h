#pragma once

#include "framing/FramingReport.h"

#include <QColor>
#include <QWidget>

// The short preview's status badge over the stage's lower left corner: a dot in the status colour and the
// first two hint lines. Main thread only.
class ShortFramingBadge : public QWidget {
    Q_OBJECT

public:
    explicit ShortFramingBadge(QWidget* parent = nullptr);

    void setAdvice(const FramingAdvice& advice);
    const FramingAdvice& advice() const { return advice_; }
    void setCream(const QColor& cream);
    // The hint lines shown: two at most.
    QStringList shownHints() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FramingAdvice advice_;
    QColor cream_ = QColor::fromRgbF(0.961f, 0.929f, 0.847f);
};
