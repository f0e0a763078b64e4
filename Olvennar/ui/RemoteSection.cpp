#include "ui/RemoteSection.h"

#include "core/RecordingController.h"
#include "finishing/SaveJob.h"
#include "platform/system/AccessProbe.h"
#include "ui/IconLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
using Kind = RemoteButton::Status::Kind;
}

RemoteSection::RemoteSection(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , indicator_(new IconLabel(QString(), QString(), WindowStyle::font(11), WindowStyle::Tone::secondary, this))
    , plainIndicator_(new QLabel(this))
    , learn_(new QPushButton(QStringLiteral("Learn my button"), this))
    , cancel_(new QPushButton(QStringLiteral("Cancel"), this))
    , forget_(new QPushButton(QStringLiteral("Forget this button"), this))
    , permissionRow_(new QWidget(this))
{
    setObjectName(QStringLiteral("remoteSection"));
    indicator_->setObjectName(QStringLiteral("remoteIndicator"));
    plainIndicator_->setObjectName(QStringLiteral("remotePlainIndicator"));
    // The clicker's name comes from the device.
    plainIndicator_->setTextFormat(Qt::PlainText);
    plainIndicator_->setFont(WindowStyle::font(11));
    WindowStyle::setTone(plainIndicator_, WindowStyle::Tone::secondary);
    learn_->setObjectName(QStringLiteral("learnRemoteButton"));
    cancel_->setObjectName(QStringLiteral("cancelLearningButton"));
    forget_->setObjectName(QStringLiteral("forgetRemoteButton"));
    permissionRow_->setObjectName(QStringLiteral("remotePermissionRow"));

    auto* titleRow = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Bluetooth button"), this);
    title->setFont(WindowStyle::font(12, QFont::DemiBold));
    titleRow->addWidget(title);
    titleRow->addStretch(1);
    titleRow->addWidget(indicator_);
    titleRow->addWidget(plainIndicator_);

    auto* allow = new QPushButton(QStringLiteral("Allow Input Monitoring"), permissionRow_);
    allow->setObjectName(QStringLiteral("allowInputButton"));
    auto* allowed = new QPushButton(QStringLiteral("I allowed it"), permissionRow_);
    allowed->setObjectName(QStringLiteral("inputAllowedButton"));
    auto* permissionLayout = new QHBoxLayout(permissionRow_);
    permissionLayout->setContentsMargins(0, 0, 0, 0);
    permissionLayout->addWidget(allow);
    permissionLayout->addWidget(allowed);
    permissionLayout->addStretch(1);

    auto* actions = new QHBoxLayout;
    actions->addWidget(learn_);
    actions->addWidget(cancel_);
    actions->addWidget(forget_);
    actions->addWidget(permissionRow_);
    actions->addStretch(1);

    auto* explanationLabel = new QLabel(explanation(), this);
    explanationLabel->setObjectName(QStringLiteral("remoteExplanation"));
    explanationLabel->setFont(WindowStyle::font(11));
    explanationLabel->setWordWrap(true);
    explanationLabel->setTextFormat(Qt::PlainText);
    WindowStyle::setTone(explanationLabel, WindowStyle::Tone::secondary);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addLayout(titleRow);
    column->addLayout(actions);
    column->addWidget(explanationLabel);

    RemoteButton* button = controller_.platform().remoteButton;
    connect(learn_, &QPushButton::clicked, this, [button] {
        if (button)
            button->startLearning();
    });
    connect(cancel_, &QPushButton::clicked, this, [button] {
        // Learning may have ended on its own (a button was pressed): then there is nothing to cancel.
        if (!button || !button->isLearning())
            return;
        button->setLearning(false);
        button->arm();
    });
    connect(forget_, &QPushButton::clicked, this, [button] {
        if (button)
            button->forget();
    });
    connect(allow, &QPushButton::clicked, this, [this] { allowInputAccess(); });
    connect(allowed, &QPushButton::clicked, this, [button] {
        if (button)
            button->arm();
    });
    sync();
}

void RemoteSection::allowInputAccess()
{
    // Linux asks nobody: look at /dev/input again and, while it stays closed, say how to open it.
    // The clicker is re-armed only by "I allowed it".
    AccessProbe& access = controller_.platform().access;
    if (access.inputMonitoring() == Permissions::State::denied)
        access.showInstruction(QString::fromLatin1(Permissions::inputMonitoringPane));
}

RemoteSection::Indicator RemoteSection::indicator(const RemoteButton::Status& status)
{
    using Tone = WindowStyle::Tone;
    switch (status.kind) {
    case Kind::ready: return {status.device.name, QStringLiteral("checkmark.circle.fill"), Tone::green};
    // Learned but not in reach now: its name, without the check mark.
    case Kind::notConnected: return {status.device.name, QString(), Tone::secondary};
    case Kind::notSet: return {QStringLiteral("Not set up"), QString(), Tone::secondary};
    case Kind::learning: return {QStringLiteral("Press your button…"), QStringLiteral("dot.radiowaves.left.and.right"), Tone::orange};
    case Kind::needsPermission: return {QStringLiteral("Needs permission"), QStringLiteral("exclamationmark.triangle.fill"), Tone::orange};
    case Kind::noDevices: return {noInputDevices(), QStringLiteral("exclamationmark.triangle.fill"), Tone::orange};
    }
    return {};
}

QStringList RemoteSection::buttons(const RemoteButton::Status& status)
{
    switch (status.kind) {
    case Kind::notSet:
    case Kind::noDevices: return {QStringLiteral("learnRemoteButton")};
    case Kind::learning: return {QStringLiteral("cancelLearningButton")};
    case Kind::ready:
    case Kind::notConnected: return {QStringLiteral("forgetRemoteButton")};
    case Kind::needsPermission: return {QStringLiteral("allowInputButton"), QStringLiteral("inputAllowedButton")};
    }
    return {};
}

QString RemoteSection::noInputDevices() { return QStringLiteral("No input devices were found."); }

QString RemoteSection::explanation()
{
    return QStringLiteral("Pair the clicker with this computer (your desktop's Bluetooth settings), then Learn. One press starts the take "
                          "(after the countdown). While recording, one press stops it and cuts the last ")
        + QString::asprintf("%.1f", SaveJob::remoteTailSeconds)
        + QStringLiteral(" s, your hand reaching for it (leave a short pause after your last word); two quick presses discard the take, "
                         "like the trash button, with no question asked. Hold the button for 0.6 s while recording to move the "
                         "teleprompter to the next box (needs a clicker that reports button release; the log says \"release after\" "
                         "when it does). You hear Pop after a stop and Basso after a discard. Needs read access to /dev/input "
                         "(the \"input\" group), checked once.");
}

void RemoteSection::sync()
{
    const RemoteButton::Status& status = controller_.remote().status();
    const Indicator shown = indicator(status);
    const bool withSymbol = !shown.symbol.isEmpty();
    indicator_->setVisible(withSymbol);
    plainIndicator_->setVisible(!withSymbol);
    if (withSymbol) {
        indicator_->setSymbol(shown.symbol);
        indicator_->setText(shown.text);
        indicator_->setTone(shown.tone);
    } else {
        plainIndicator_->setText(shown.text);
    }
    const QStringList wanted = buttons(status);
    learn_->setVisible(wanted.contains(learn_->objectName()));
    cancel_->setVisible(wanted.contains(cancel_->objectName()));
    forget_->setVisible(wanted.contains(forget_->objectName()));
    permissionRow_->setVisible(wanted.contains(QStringLiteral("allowInputButton")));
    // A clicker is neither learned nor forgotten mid-take.
    setEnabled(!controller_.phase().isBusy());
}
