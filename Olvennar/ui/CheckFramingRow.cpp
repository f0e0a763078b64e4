#include "ui/CheckFramingRow.h"

#include "core/RecordingController.h"
#include "ui/ThemeIcon.h"
#include "ui/WindowActions.h"
#include "ui/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

CheckFramingRow::CheckFramingRow(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , button_(new QPushButton(QStringLiteral("Check framing"), this))
    , note_(new QLabel(this))
{
    setObjectName(QStringLiteral("checkFramingRow"));
    button_->setObjectName(QStringLiteral("checkFramingButton"));
    button_->setIcon(ThemeIcon::icon(QStringLiteral("person.crop.rectangle"), WindowStyle::color(WindowStyle::Tone::primary)));
    button_->setFont(WindowStyle::font(12));
    note_->setObjectName(QStringLiteral("checkFramingNote"));
    note_->setFont(WindowStyle::font(11));
    WindowStyle::setTone(note_, WindowStyle::Tone::secondary);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(button_);
    row->addWidget(note_, 1);
    connect(button_, &QPushButton::clicked, this, [&actions] { actions.openFramingCheck(); });
    sync();
}

void CheckFramingRow::setHelp(const QString& help)
{
    setToolTip(help);
    button_->setToolTip(help);
}

void CheckFramingRow::sync()
{
    button_->setEnabled(!controller_.phase().isBusy());
    const bool cameraOff = controller_.captureMode() == CaptureMode::screen && !controller_.cameraEnabled();
    note_->setText(cameraOff ? QStringLiteral("Turns the camera on.") : QString());
}
