#pragma once

#include <QWidget>

class QLabel;

// An orange warning triangle beside an 11 px secondary message that wraps to its full height. A word wider
// than the message's room (a device name with no space in it) gives up its middle to "…" and the whole
// message becomes the tooltip, so a long name never widens the row past its window.
class WarningRow : public QWidget {
    Q_OBJECT

public:
    explicit WarningRow(QWidget* parent = nullptr);

    void setText(const QString& text);
    // The whole message, as set.
    QString text() const { return text_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fit();

    QLabel* message_;
    QString text_;
};
