#pragma once

#include <QFrame>

class QVBoxLayout;

// A notice: full-width, content padded and leading-aligned on an orange-tinted rounded card.
class NoticeCard : public QFrame {
    Q_OBJECT

public:
    explicit NoticeCard(int padding = 10, int spacing = 8, QWidget* parent = nullptr);

    QVBoxLayout* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* content_;
};
