#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QHBoxLayout;
class QToolButton;

// A row of joined segments, exactly one selected. `activated` reports a user's click only; setting the
// selection from the model never emits, so a view sync cannot write a setting back.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    // Replaces the segments (keeps the selection index when it still exists).
    void setSegments(const QStringList& titles);
    QStringList segments() const;
    int count() const;
    // -1 selects nothing.
    void setCurrentIndex(int index);
    int currentIndex() const;
    QToolButton* segment(int index) const;

Q_SIGNALS:
    void activated(int index);

private:
    QHBoxLayout* row_;
    QButtonGroup* group_;
};
