#include "ui/StatusFooter.h"

#include "core/HotKeyCenter.h"
#include "core/RecordingController.h"
#include "platform/system/HomePath.h"
#include "ui/IconLabel.h"
#include "ui/WindowStyle.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QPushButton* smallButton(const QString& text, const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    WindowStyle::makeSmall(button);
    return button;
}
} // namespace

StatusFooter::StatusFooter(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , saved_(new QWidget(this))
    , savedLabel_(new IconLabel(QStringLiteral("checkmark.circle.fill"), {}, WindowStyle::font(11), WindowStyle::Tone::green, saved_))
    , play_(smallButton(QStringLiteral("Play"), QStringLiteral("playButton"), saved_))
    , failure_(new QWidget(this))
    , failureLabel_(new IconLabel(QStringLiteral("exclamationmark.triangle.fill"), {}, WindowStyle::font(11), WindowStyle::Tone::red, failure_))
    , notice_(new IconLabel(QStringLiteral("info.circle"), {}, WindowStyle::font(11), WindowStyle::Tone::secondary, this))
    , pauseNote_(new IconLabel(QStringLiteral("pause.circle"), QStringLiteral("Paused — the finished video will have no gap"), WindowStyle::font(11),
          WindowStyle::Tone::secondary, this))
    , destination_(new QWidget(this))
    , destinationLabel_(new QLabel(destination_))
    , keys_(new QLabel(keyLine(), destination_))
{
    setObjectName(QStringLiteral("statusFooter"));
    saved_->setObjectName(QStringLiteral("savedRow"));
    savedLabel_->setObjectName(QStringLiteral("savedLabel"));
    failure_->setObjectName(QStringLiteral("failureBlock"));
    failureLabel_->setObjectName(QStringLiteral("failureMessage"));
    pauseNote_->setObjectName(QStringLiteral("pauseNote"));
    notice_->setObjectName(QStringLiteral("takeNotice"));
    notice_->setWordWrap(true);
    destination_->setObjectName(QStringLiteral("destinationRow"));
    destinationLabel_->setObjectName(QStringLiteral("destinationLine"));
    keys_->setObjectName(QStringLiteral("keyLine"));

    savedLabel_->setWordWrap(true);
    auto* reveal = smallButton(QStringLiteral("Reveal"), QStringLiteral("revealButton"), saved_);
    auto* savedRow = new QHBoxLayout(saved_);
    savedRow->setContentsMargins(0, 0, 0, 0);
    savedRow->addWidget(savedLabel_, 1);
    savedRow->addWidget(play_);
    savedRow->addWidget(reveal);

    failureLabel_->setWordWrap(true);
    failureLabel_->textLabel()->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* dismiss = smallButton(QStringLiteral("Dismiss"), QStringLiteral("dismissButton"), failure_);
    retry_ = smallButton(QStringLiteral("Retry"), QStringLiteral("retryButton"), failure_);
    auto* failureColumn = new QVBoxLayout(failure_);
    failureColumn->setContentsMargins(0, 0, 0, 0);
    failureColumn->setSpacing(6);
    failureColumn->addWidget(failureLabel_);
    auto* failureButtons = new QHBoxLayout();
    failureButtons->addWidget(dismiss);
    failureButtons->addWidget(retry_);
    failureButtons->addStretch(1);
    failureColumn->addLayout(failureButtons);

    destinationLabel_->setFont(WindowStyle::font(11));
    destinationLabel_->setTextFormat(Qt::PlainText);
    destinationLabel_->setWordWrap(true);
    WindowStyle::setTone(destinationLabel_, WindowStyle::Tone::secondary);
    keys_->setFont(WindowStyle::monospaceFont(10));
    WindowStyle::setTone(keys_, WindowStyle::Tone::tertiary);
    auto* destinationGrid = new QGridLayout(destination_);
    destinationGrid->setContentsMargins(0, 0, 0, 0);
    destinationGrid->setVerticalSpacing(4);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(notice_);
    column->addWidget(saved_);
    column->addWidget(failure_);
    column->addWidget(pauseNote_);
    column->addWidget(destination_);

    connect(play_, &QPushButton::clicked, this, [this] { controller_.replayLastShort(); });
    connect(reveal, &QPushButton::clicked, this, [this] { controller_.revealLastRecording(); });
    connect(dismiss, &QPushButton::clicked, this, [this] { controller_.reset(); });
    connect(retry_, &QPushButton::clicked, this, [this] { controller_.retryFinish(); });
    sync();
}

StatusFooter::Form StatusFooter::form(const RecordingController& controller)
{
    switch (controller.phase().kind()) {
    case RecordingPhase::Kind::finished: return Form::saved;
    case RecordingPhase::Kind::failed: return Form::failure;
    case RecordingPhase::Kind::paused: return Form::paused;
    default: return Form::destination;
    }
}

QString StatusFooter::destinationLine(const RecordingController& controller)
{
    QString line = QStringLiteral("→ ")
        + (controller.captureMode() == CaptureMode::short_ ? controller.shortDestinationName() : controller.destinationName());
    if (controller.zoomMarkCount() >= 1)
        line += QStringLiteral("  ·  ") + QString::number(controller.zoomMarkCount()) + QStringLiteral(" zoom mark(s)");
    return line;
}

QString StatusFooter::keyLine()
{
    return QStringLiteral("%1 record   %2 pause   %3/%4 zoom")
        .arg(QString::fromLatin1(HotKeyNames::startStop), QString::fromLatin1(HotKeyNames::pause),
            QString::fromLatin1(HotKeyNames::zoomIn), QString::fromLatin1(HotKeyNames::zoomOut));
}

QString StatusFooter::savedText(const QString& finishedFile, const QString& note)
{
    const QString saved = QStringLiteral("Saved to %1").arg(HomePath::abbreviated(QFileInfo(finishedFile).path()));
    return note.isEmpty() ? saved : saved + QStringLiteral(". ") + note;
}

void StatusFooter::sync()
{
    const Form shown = form(controller_);
    saved_->setVisible(shown == Form::saved);
    failure_->setVisible(shown == Form::failure);
    pauseNote_->setVisible(shown == Form::paused);
    destination_->setVisible(shown == Form::destination);
    const QString& payload = controller_.phase().payload();
    if (shown == Form::saved)
        savedLabel_->setText(savedText(payload, controller_.finishNote()));
    if (shown == Form::failure)
        failureLabel_->setText(controller_.failureText());
    // Information about the last take, kept above whatever the footer says next.
    notice_->setVisible(!controller_.notice().isEmpty() && shown != Form::paused);
    notice_->setText(controller_.notice());
    retry_->setVisible(shown == Form::failure && controller_.canRetryFinish());
    play_->setVisible(controller_.captureMode() == CaptureMode::short_);
    destinationLabel_->setText(destinationLine(controller_));
    placeKeyLine();
}

void StatusFooter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeKeyLine();
}

void StatusFooter::placeKeyLine()
{
    const int room = width() > 0 ? width() : 360;
    const int needed = destinationLabel_->fontMetrics().horizontalAdvance(destinationLabel_->text()) + 12
        + keys_->fontMetrics().horizontalAdvance(keys_->text());
    const bool beside = needed <= room;
    if (beside == keysBeside_ && destination_->layout()->count() > 0)
        return;
    keysBeside_ = beside;
    auto* grid = static_cast<QGridLayout*>(destination_->layout());
    grid->removeWidget(destinationLabel_);
    grid->removeWidget(keys_);
    grid->addWidget(destinationLabel_, 0, 0);
    grid->addWidget(keys_, beside ? 0 : 1, beside ? 1 : 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(0, 1);
}
