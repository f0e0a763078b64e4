#pragma once

#include <QList>
#include <QWidget>

class Divider;
class QVBoxLayout;

// A vertical stack that draws a divider between each two neighbouring members that are shown; hidden
// members (another mode's sections, empty slots) leave neither a gap nor a double rule.
class DividedColumn : public QWidget {
    Q_OBJECT

public:
    DividedColumn(double dividerOpacity, int spacing, QWidget* parent = nullptr);

    void addMember(QWidget* member);
    // Shows exactly the dividers that stand between two shown members; call after visibility changes.
    void updateDividers();
    int shownDividerCount() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    double dividerOpacity_;
    QVBoxLayout* layout_;
    QList<QWidget*> members_;
    QList<Divider*> dividers_; // dividers_[i] stands before members_[i + 1]
};
