#include "ui/ShortSection.h"

#include "core/RecordingController.h"
#include "shorts/ShortFraming.h"
#include "ui/CameraAudioControls.h"
#include "ui/CameraPicker.h"
#include "ui/ElidedLabel.h"
#include "ui/PhaseGroups.h"
#include "ui/SectionNote.h"
#include "ui/SectionTitle.h"
#include "ui/ThemeIcon.h"
#include "ui/WindowActions.h"
#include "ui/WindowStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QCheckBox* toggle(const QString& title, const QString& name, const QString& tip, QWidget* parent)
{
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(name);
    box->setFont(WindowStyle::font(12));
    box->setToolTip(tip);
    return box;
}

QPushButton* iconButton(const QString& title, const QString& symbol, const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(ThemeIcon::icon(symbol, WindowStyle::color(WindowStyle::Tone::primary)), title, parent);
    button->setObjectName(name);
    button->setFont(WindowStyle::font(12));
    return button;
}

} // namespace

ShortSection::ShortSection(RecordingController& controller, WindowActions& actions, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , actions_(actions)
    , camera_(new CameraPicker(controller, this))
    , audio_(new CameraAudioControls(controller, this))
    , mirrorPreview_(toggle(QStringLiteral("Mirror the preview"), QStringLiteral("mirrorPreviewToggle"),
          QStringLiteral("Shared with Just me's Mirror me. Only changes what you see while recording."), this))
    , mirrorFile_(toggle(QStringLiteral("Mirror the recorded Short too"), QStringLiteral("mirrorFileToggle"),
          QStringLiteral("Off (default): the Short is the true image, so text behind you reads the right way. Viewer view shows the file as it will be."),
          this))
    , scriptCard_(new QWidget(this))
    , script_(new ElidedLabel(Qt::ElideRight, scriptCard_))
    , notThisOne_(new QPushButton(QStringLiteral("Not this one"), scriptCard_))
    , frame_(iconButton(QStringLiteral("Show frame"), QStringLiteral("rectangle.portrait.on.rectangle.portrait"), QStringLiteral("frameButton"), this))
    , lastTake_(iconButton(QStringLiteral("Last take"), QStringLiteral("play.fill"), QStringLiteral("lastTakeButton"), this))
    , framing_(SectionNote::make(QStringLiteral("shortFramingText"), QString(), this))
    , note_(SectionNote::make(QStringLiteral("shortLockNote"), QString(), this))
{
    setObjectName(QStringLiteral("shortSection"));
    camera_->setObjectName(QStringLiteral("shortCameraPicker"));
    scriptCard_->setObjectName(QStringLiteral("scriptCard"));
    script_->setObjectName(QStringLiteral("scriptText"));
    script_->setFont(WindowStyle::font(11));
    notThisOne_->setObjectName(QStringLiteral("notThisOneButton"));
    WindowStyle::makeMini(notThisOne_);
    lastTake_->setToolTip(QStringLiteral("Play the newest short.mov"));

    auto* card = new QHBoxLayout(scriptCard_);
    card->setContentsMargins(0, 0, 0, 0);
    card->setSpacing(6);
    card->addWidget(script_, 1);
    card->addSpacing(4);
    card->addWidget(notThisOne_);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(frame_);
    buttons->addWidget(lastTake_);
    buttons->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(new SectionTitle(QStringLiteral("Short (9:16)"), QStringLiteral("rectangle.portrait"), this));
    column->addWidget(camera_);
    column->addWidget(audio_);
    column->addWidget(mirrorPreview_);
    column->addWidget(mirrorFile_);
    column->addWidget(scriptCard_);
    column->addLayout(buttons);
    column->addWidget(framing_);
    column->addWidget(note_);

    connect(mirrorPreview_, &QCheckBox::toggled, this, [this](bool on) { controller_.setMirrorCamera(on); });
    connect(mirrorFile_, &QCheckBox::toggled, this, [this](bool on) { controller_.setShortMirrorFile(on); });
    connect(notThisOne_, &QPushButton::clicked, this, [this] { actions_.ignoreNextTake(); });
    connect(lastTake_, &QPushButton::clicked, this, [this] { controller_.replayLastShort(); });
    connect(frame_, &QPushButton::clicked, this, [this] {
        if (actions_.shortPreviewShown())
            actions_.closeShortPreview();
        else
            actions_.openShortPreview();
    });
    sync();
}

QString ShortSection::scriptText(const QString& scriptID, const QString& title)
{
    return QStringLiteral("Script: ") + scriptID + (title.isEmpty() ? QString() : QStringLiteral(" · ") + title);
}

QString ShortSection::lowerNote(bool locked)
{
    if (locked)
        return QStringLiteral("The frame is locked for this take — it never moves.");
    return QStringLiteral("Open the frame (Show frame) for the eye-line and face-size guide before recording. Where you drag the frame itself "
                          "barely matters any more — the editor re-crops from raw.mov by tracking your face.");
}

void ShortSection::sync()
{
    const bool locked = controller_.shortCropLocked();
    camera_->sync();
    audio_->sync();
    {
        const QSignalBlocker previewBlocker(mirrorPreview_);
        const QSignalBlocker fileBlocker(mirrorFile_);
        mirrorPreview_->setChecked(controller_.mirrorCamera());
        mirrorFile_->setChecked(controller_.shortMirrorFile());
    }
    for (QWidget* lockable : std::initializer_list<QWidget*>{camera_, audio_, mirrorPreview_, mirrorFile_, notThisOne_})
        lockable->setEnabled(!locked);
    const std::optional<NextTake> next = actions_.nextTake();
    scriptCard_->setVisible(next.has_value());
    if (next)
        script_->setText(scriptText(next->scriptID, next->title));
    frame_->setText(actions_.shortPreviewShown() ? QStringLiteral("Hide frame") : QStringLiteral("Show frame"));
    lastTake_->setEnabled(controller_.lastShortURL().has_value() && !isTakeRunning(controller_.phase()));
    // Nothing to wait for when the machine has no camera.
    const bool noCamera = controller_.shortFrameSize().width() < 2 && controller_.noCameraDevice();
    framing_->setText(noCamera ? Permissions::noCameraFound : ShortFraming::describe(controller_.shortFrameSize()));
    note_->setText(lowerNote(locked));
}
