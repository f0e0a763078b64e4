#include "ui/TransportRow.h"

#include "core/RecordingController.h"
#include "ui/PhaseGroups.h"
#include "ui/Spinner.h"
#include "ui/ThemeIcon.h"
#include "ui/WindowActions.h"
#include "ui/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

TransportRow::TransportRow(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , actions_(actions)
    , record_(new QPushButton(QStringLiteral("Record"), this))
    , busy_(new QWidget(this))
    , spinner_(new Spinner(16, busy_))
    , busyLabel_(new QLabel(busy_))
    , pause_(new QPushButton(this))
    , discard_(new QPushButton(this))
    , stop_(new QPushButton(QStringLiteral("Stop"), this))
{
    setObjectName(QStringLiteral("transport"));
    record_->setObjectName(QStringLiteral("recordButton"));
    busy_->setObjectName(QStringLiteral("busyIndicator"));
    busyLabel_->setObjectName(QStringLiteral("busyLabel"));
    pause_->setObjectName(QStringLiteral("pauseButton"));
    discard_->setObjectName(QStringLiteral("discardButton"));
    stop_->setObjectName(QStringLiteral("stopButton"));

    record_->setIcon(ThemeIcon::painted(QStringLiteral("record.circle"), Qt::white));
    WindowStyle::makeProminent(record_, WindowStyle::systemRed());
    stop_->setIcon(ThemeIcon::painted(QStringLiteral("stop.fill"), Qt::white));
    WindowStyle::makeProminent(stop_);
    discard_->setIcon(ThemeIcon::painted(QStringLiteral("trash.fill"), WindowStyle::systemRed()));
    discard_->setToolTip(QStringLiteral("Discard this take — deletes it without saving"));
    WindowStyle::makeBordered(discard_, WindowStyle::systemRed());
    discard_->setMinimumWidth(20 + 2 * 10);
    for (QPushButton* button : {record_, pause_, discard_, stop_})
        WindowStyle::makeLarge(button);
    for (QPushButton* button : {record_, pause_, stop_})
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    discard_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    busyLabel_->setFont(WindowStyle::font(12));
    WindowStyle::setTone(busyLabel_, WindowStyle::Tone::secondary);
    auto* busyRow = new QHBoxLayout(busy_);
    busyRow->setContentsMargins(0, 0, 0, 0);
    busyRow->setSpacing(8);
    busyRow->addStretch(1);
    busyRow->addWidget(spinner_, 0, Qt::AlignVCenter);
    busyRow->addWidget(busyLabel_, 0, Qt::AlignVCenter);
    busyRow->addStretch(1);
    // As tall as the buttons, so the window does not jump between phases.
    busy_->setMinimumHeight(32);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(record_);
    row->addWidget(busy_, 1);
    row->addWidget(pause_);
    row->addWidget(discard_);
    row->addWidget(stop_);

    connect(record_, &QPushButton::clicked, this, [this] { actions_.start(); });
    connect(pause_, &QPushButton::clicked, this, [this] { actions_.togglePause(); });
    connect(stop_, &QPushButton::clicked, this, [this] { actions_.stop(); });
    connect(discard_, &QPushButton::clicked, this, &TransportRow::askToDiscard);
    connect(&controller_, &RecordingController::changed, this, &TransportRow::watchTake);
    watchTake();
    sync();
}

QString TransportRow::busyLabel(const RecordingController& controller)
{
    switch (controller.phase().kind()) {
    case RecordingPhase::Kind::countingDown: return QStringLiteral("Get ready…");
    case RecordingPhase::Kind::preparing: return QStringLiteral("Starting…");
    case RecordingPhase::Kind::finishing: return QStringLiteral("Finishing — painting in the overlays…");
    default: return {};
    }
}

void TransportRow::sync()
{
    const RecordingPhase& phase = controller_.phase();
    const bool running = isTakeRunning(phase);
    const bool busy = phase.isBusy() && !running;
    record_->setVisible(!phase.isBusy());
    busy_->setVisible(busy);
    busyLabel_->setText(busyLabel(controller_));
    pause_->setVisible(running);
    discard_->setVisible(running);
    stop_->setVisible(running);
    const bool paused = phase.kind() == RecordingPhase::Kind::paused;
    pause_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    pause_->setIcon(ThemeIcon::painted(paused ? QStringLiteral("play.fill") : QStringLiteral("pause.fill"), WindowStyle::color(WindowStyle::Tone::primary)));
}

void TransportRow::watchTake()
{
    const bool running = isTakeRunning(controller_.phase());
    if (running && !takeWasRunning_)
        ++take_;
    takeWasRunning_ = running;
    if (!running && confirmation_) {
        // The take it asked about has ended (stopped by a hot key, the remote or a failure).
        QMessageBox* box = confirmation_;
        confirmation_ = nullptr;
        box->close();
        box->deleteLater();
    }
}

void TransportRow::askToDiscard()
{
    if (confirmation_ || !isTakeRunning(controller_.phase()))
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Discard this take?"), QStringLiteral("Discard this take?"),
        QMessageBox::NoButton, window());
    box->setObjectName(QStringLiteral("discardConfirmation"));
    box->setInformativeText(QStringLiteral("Nothing recorded so far will be saved. This can't be undone."));
    QPushButton* discard = box->addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    discard->setObjectName(QStringLiteral("confirmDiscardButton"));
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelDiscardButton"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    confirmation_ = box;
    confirmationTake_ = take_;
    connect(box, &QMessageBox::finished, this, [this, box, discard] {
        const bool confirmed = box->clickedButton() == discard;
        const bool sameTake = confirmationTake_ == take_ && isTakeRunning(controller_.phase());
        if (confirmation_ == box) {
            confirmation_ = nullptr;
            box->deleteLater();
        }
        if (confirmed && sameTake)
            actions_.discard();
    });
    box->open();
}
