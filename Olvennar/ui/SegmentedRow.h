#pragma once

#include <QWidget>

class QLabel;
class SegmentedControl;

// A titled segmented choice: 12 px title, flexible space, the segments at a fixed width (170 px unless told).
class SegmentedRow : public QWidget {
    Q_OBJECT

public:
    SegmentedRow(const QString& title, const QStringList& segments, int width = 170, QWidget* parent = nullptr);

    SegmentedControl* control() const { return control_; }

private:
    SegmentedControl* control_;
};
