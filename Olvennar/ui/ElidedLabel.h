#pragma once

#include <QWidget>

// One line of text that gives up its middle (or end) with "…" when it is wider than its room, and shows
// the full text as its tooltip while shortened. The text is shown as it stands, never as markup.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    // The text as it is drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();

    QString text_;
    Qt::TextElideMode mode_;
};
