#pragma once

#include "ui/JobRow.h"

#include <QWidget>

#include <functional>
#include <vector>

class QVBoxLayout;

// A list of background jobs, one row each, 6 px apart; absent (hidden) while empty. The rows are built
// again only when what they show changed, so a click never lands on a row that is being replaced.
class JobQueuePanel : public QWidget {
    Q_OBJECT

public:
    explicit JobQueuePanel(QWidget* parent = nullptr);

    void setRows(std::vector<JobRow> rows);
    const std::vector<JobRow>& rows() const { return rows_; }
    bool isEmpty() const { return rows_.empty(); }

    // A row's button was pressed.
    std::function<void(const JobRow& row, JobRow::Button button)> onPress;

private:
    QWidget* makeRow(const JobRow& row);

    QVBoxLayout* column_;
    std::vector<JobRow> rows_;
};
