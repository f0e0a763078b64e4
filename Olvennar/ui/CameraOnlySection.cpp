#include "ui/CameraOnlySection.h"

#include "core/RecordingController.h"
#include "ui/CameraAudioControls.h"
#include "ui/CameraPicker.h"
#include "ui/CheckFramingRow.h"
#include "ui/SectionNote.h"
#include "ui/SectionTitle.h"
#include "ui/WindowStyle.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

CameraOnlySection::CameraOnlySection(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , camera_(new CameraPicker(controller, this))
    , audio_(new CameraAudioControls(controller, this))
    , mirror_(new QCheckBox(QStringLiteral("Mirror me"), this))
    , checkFraming_(new CheckFramingRow(controller, actions, this))
{
    setObjectName(QStringLiteral("cameraOnlySection"));
    camera_->setObjectName(QStringLiteral("cameraOnlyCameraPicker"));
    mirror_->setObjectName(QStringLiteral("mirrorMeToggle"));
    mirror_->setFont(WindowStyle::font(12));
    checkFraming_->setHelp(framingHelp());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(new SectionTitle(QStringLiteral("Just me"), QStringLiteral("person.crop.circle.fill"), this));
    column->addWidget(camera_);
    column->addWidget(audio_);
    column->addWidget(mirror_);
    column->addWidget(checkFraming_);
    column->addWidget(SectionNote::make(QStringLiteral("justMeNote"),
        QStringLiteral("Always the whole camera image, exactly as captured — no crop, no re-encode. One file straight out of the camera."), this));
    connect(mirror_, &QCheckBox::toggled, this, [this](bool on) { controller_.setMirrorCamera(on); });
    sync();
}

QString CameraOnlySection::framingHelp()
{
    return QStringLiteral("A big live preview of exactly what gets recorded, with guides and tips — see if you're too close, too far, "
                          "too high or badly lit before you record.");
}

void CameraOnlySection::sync()
{
    camera_->sync();
    audio_->sync();
    {
        const QSignalBlocker blocker(mirror_);
        mirror_->setChecked(controller_.mirrorCamera());
    }
    checkFraming_->sync();
    // Nothing of a take under way changes from here.
    setEnabled(!controller_.phase().isBusy());
}
