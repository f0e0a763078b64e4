#include "ui/JobQueuePanel.h"

#include "ui/ElidedLabel.h"
#include "ui/Spinner.h"
#include "ui/ThemeIcon.h"

#include <algorithm>
#include <limits>

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// A small spinner (16 px) scaled to 0.6.
constexpr int spinnerSide = 10;

QString buttonTitle(JobRow::Button button)
{
    switch (button) {
    case JobRow::Button::reveal: return QStringLiteral("Reveal");
    case JobRow::Button::retry: return QStringLiteral("Retry");
    case JobRow::Button::dismiss: return QStringLiteral("✕");
    }
    return {};
}

QString buttonName(JobRow::Button button)
{
    switch (button) {
    case JobRow::Button::reveal: return QStringLiteral("revealButton");
    case JobRow::Button::retry: return QStringLiteral("retryButton");
    case JobRow::Button::dismiss: return QStringLiteral("dismissButton");
    }
    return {};
}

} // namespace

JobQueuePanel::JobQueuePanel(QWidget* parent)
    : QWidget(parent)
    , scroll_(new QScrollArea(this))
    , content_(new QWidget(scroll_))
    , column_(new QVBoxLayout(content_))
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll_);
    scroll_->setObjectName(QStringLiteral("jobScroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setWidgetResizable(true);
    scroll_->viewport()->setAutoFillBackground(false);
    content_->setAutoFillBackground(false);
    scroll_->setWidget(content_);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(6);
    column_->setAlignment(Qt::AlignTop);
    QScrollBar* bar = scroll_->verticalScrollBar();
    // Rebuilding the rows shrinks the range for a moment, which would pull the view to the top.
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (wantedScroll_)
            bar->setValue(std::min(*wantedScroll_, maximum));
    });
    connect(bar, &QScrollBar::actionTriggered, this, [this](int) { wantedScroll_.reset(); });
    hide();
}

void JobQueuePanel::setRows(std::vector<JobRow> rows)
{
    if (rows == rows_)
        return;
    // A new row is the newest job: bring it into view; progress on the same rows keeps the user's scroll.
    QScrollBar* bar = scroll_->verticalScrollBar();
    const bool newest = rows.size() > rows_.size() || bar->value() >= bar->maximum();
    wantedScroll_ = newest ? std::numeric_limits<int>::max() : bar->value();
    rows_ = std::move(rows);
    // The old rows go after this turn: the click that changed the list may still be on its way out.
    while (QLayoutItem* item = column_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    for (const JobRow& row : rows_)
        column_->addWidget(makeRow(row));
    setVisible(!rows_.empty());
    fitHeight();
    bar->setValue(std::min(*wantedScroll_, bar->maximum()));
}

void JobQueuePanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitHeight();
}

void JobQueuePanel::fitHeight()
{
    const int count = column_->count();
    const int shown = std::min(count, visibleRows);
    const int width = scroll_->viewport()->width() > 0 ? scroll_->viewport()->width() : 360;
    int height = 0;
    for (int i = count - shown; i < count; ++i) {
        QWidget* row = column_->itemAt(i)->widget();
        height += row->hasHeightForWidth() ? row->heightForWidth(width) : row->sizeHint().height();
    }
    height += column_->spacing() * std::max(0, shown - 1);
    if (scroll_->height() != height || scroll_->minimumHeight() != height)
        scroll_->setFixedHeight(height);
}

QWidget* JobQueuePanel::makeRow(const JobRow& row)
{
    auto* widget = new QWidget(content_);
    widget->setObjectName(QStringLiteral("jobRow"));
    widget->setProperty("jobId", row.id.toString());
    auto* line = new QHBoxLayout(widget);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    const QFont font = WindowStyle::font(11);
    if (row.spinner) {
        auto* spinner = new Spinner(spinnerSide, widget);
        spinner->setObjectName(QStringLiteral("jobSpinner"));
        line->addWidget(spinner, 0, Qt::AlignVCenter);
    } else {
        auto* symbol = new QLabel(widget);
        symbol->setObjectName(QStringLiteral("jobSymbol"));
        symbol->setProperty("symbol", row.symbol);
        const int side = QFontMetrics(font).height();
        symbol->setPixmap(ThemeIcon::icon(row.symbol, WindowStyle::color(row.symbolTone, widget)).pixmap(side - 2, side - 2));
        symbol->setFixedSize(side, side);
        line->addWidget(symbol, 0, Qt::AlignVCenter);
    }
    if (row.maximumLines > 1) {
        auto* text = new QLabel(row.text, widget);
        text->setObjectName(QStringLiteral("jobText"));
        text->setTextFormat(Qt::PlainText);
        text->setFont(font);
        text->setWordWrap(true);
        // The first lines show; a longer message is cut below them.
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setMaximumHeight(QFontMetrics(font).lineSpacing() * row.maximumLines + 2);
        WindowStyle::setTone(text, row.textTone);
        line->addWidget(text, 1);
    } else {
        auto* text = new ElidedLabel(Qt::ElideRight, widget);
        text->setObjectName(QStringLiteral("jobText"));
        text->setFont(font);
        text->setText(row.text);
        WindowStyle::setTone(text, row.textTone);
        line->addWidget(text, 1);
    }
    for (JobRow::Button button : row.buttons) {
        auto* push = new QPushButton(buttonTitle(button), widget);
        push->setObjectName(buttonName(button));
        WindowStyle::makeMini(push);
        const JobRow copy = row;
        connect(push, &QPushButton::clicked, this, [this, copy, button] {
            if (onPress)
                onPress(copy, button);
        });
        line->addWidget(push, 0, Qt::AlignVCenter);
    }
    return widget;
}
