#include "ui/JobQueuePanel.h"

#include "ui/ElidedLabel.h"
#include "ui/Spinner.h"
#include "ui/ThemeIcon.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
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
    , column_(new QVBoxLayout(this))
{
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(6);
    hide();
}

void JobQueuePanel::setRows(std::vector<JobRow> rows)
{
    if (rows == rows_)
        return;
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
}

QWidget* JobQueuePanel::makeRow(const JobRow& row)
{
    auto* widget = new QWidget(this);
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
