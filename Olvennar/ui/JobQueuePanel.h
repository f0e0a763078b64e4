#pragma once

#include "ui/JobRow.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QScrollArea;
class QVBoxLayout;

// A list of background jobs, one row each, 6 px apart; absent (hidden) while empty. The rows are built
// again only when what they show changed, so a click never lands on a row that is being replaced.
// At most `visibleRows` rows take room in the window (the newest, at the end); the rest scroll, so a long
// session never grows the window past the screen.
class JobQueuePanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int visibleRows = 4;

    explicit JobQueuePanel(QWidget* parent = nullptr);

    void setRows(std::vector<JobRow> rows);
    const std::vector<JobRow>& rows() const { return rows_; }
    bool isEmpty() const { return rows_.empty(); }
    QScrollArea* scrollArea() const { return scroll_; }

    // A row's button was pressed.
    std::function<void(const JobRow& row, JobRow::Button button)> onPress;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeRow(const JobRow& row);
    // The scroll area's height: the last `visibleRows` rows at the width they have.
    void fitHeight();

    QScrollArea* scroll_;
    QWidget* content_;
    QVBoxLayout* column_;
    std::vector<JobRow> rows_;
    // Where the view should stand once a rebuild's scroll range is known: the newest row when rows were added
    // or the view stood there, else where the user left it. Dropped when the user scrolls.
    std::optional<int> wantedScroll_;
};
