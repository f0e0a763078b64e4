#include "ui/PermissionNotice.h"

#include "core/RecordingController.h"
#include "platform/system/Edition.h"
#include "ui/IconLabel.h"
#include "ui/WindowActions.h"
#include "ui/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PermissionNotice::PermissionNotice(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : NoticeCard(10, 8, parent)
    , controller_(controller)
{
    setObjectName(QStringLiteral("permissionNotice"));
    auto* title = new IconLabel(QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("Permission missing"),
        WindowStyle::font(12, QFont::DemiBold), WindowStyle::Tone::orange, this);
    microphoneRow_ = accessRow(QStringLiteral("Microphone — the take would have no voice"), QStringLiteral("microphoneAccessRow"),
        [&actions] { actions.grantMicrophone(); });
    cameraRow_ = accessRow(QStringLiteral("Camera — the bubble would be empty"), QStringLiteral("cameraAccessRow"),
        [&actions] { actions.grantCamera(); });
    auto* note = new QLabel(footnote(), this);
    note->setObjectName(QStringLiteral("permissionFootnote"));
    note->setFont(WindowStyle::font(10));
    note->setWordWrap(true);
    WindowStyle::setTone(note, WindowStyle::Tone::secondary);
    content()->addWidget(title);
    content()->addWidget(microphoneRow_);
    content()->addWidget(cameraRow_);
    content()->addWidget(note);
}

QWidget* PermissionNotice::accessRow(const QString& text, const QString& name, const std::function<void()>& grant)
{
    auto* row = new QWidget(this);
    row->setObjectName(name);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(text, row);
    label->setFont(WindowStyle::font(11));
    auto* button = new QPushButton(QStringLiteral("Grant"), row);
    button->setObjectName(QStringLiteral("grantButton"));
    WindowStyle::makeSmall(button);
    connect(button, &QPushButton::clicked, this, grant);
    layout->addWidget(label);
    layout->addStretch(1);
    layout->addWidget(button);
    return row;
}

bool PermissionNotice::microphoneNeeded(const RecordingController& controller)
{
    const CaptureMode mode = controller.captureMode();
    return controller.captureMicrophone() || CaptureModes::usesCameraOnlyRecorder(mode) || mode == CaptureMode::voice;
}

bool PermissionNotice::cameraNeeded(const RecordingController& controller)
{
    const CaptureMode mode = controller.captureMode();
    return mode != CaptureMode::voice && (controller.cameraEnabled() || CaptureModes::usesCameraOnlyRecorder(mode));
}

bool PermissionNotice::microphoneMissing(const RecordingController& controller)
{
    return microphoneNeeded(controller) && controller.micPermission() != Permissions::State::granted;
}

bool PermissionNotice::cameraMissing(const RecordingController& controller)
{
    // A machine without any camera has nothing to grant: the camera picker says that none was found.
    return cameraNeeded(controller) && controller.cameraPermission() != Permissions::State::granted && !controller.noCameraDevice();
}

QString PermissionNotice::footnote()
{
    // Linux never asks: say what to change by hand.
    return QStringLiteral("Linux does not ask for this: make sure the sound server runs for your session and add your user to the "
                          "\"video\" group, then log in again and reopen ")
        + Edition::appName() + QLatin1Char('.');
}

void PermissionNotice::sync()
{
    const bool microphone = microphoneMissing(controller_);
    const bool camera = cameraMissing(controller_);
    microphoneRow_->setVisible(microphone);
    cameraRow_->setVisible(camera);
    setVisible(microphone || camera);
}
