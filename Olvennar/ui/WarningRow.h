#pragma once

#include <QWidget>

class QLabel;

// An orange warning triangle beside an 11 px secondary message that wraps to its full height.
class WarningRow : public QWidget {
    Q_OBJECT

public:
    explicit WarningRow(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

private:
    QLabel* message_;
};
