#include "ui/ContentView.h"

#include "core/ControllerHooks.h"
#include "core/RecordingController.h"
#include "finishing/EnhanceQueue.h"
#include "ui/CameraOnlySection.h"
#include "ui/CameraSection.h"
#include "ui/DividedColumn.h"
#include "ui/Divider.h"
#include "ui/HeaderBar.h"
#include "ui/JobQueuePanel.h"
#include "ui/MicrophoneNotice.h"
#include "ui/ModeSection.h"
#include "ui/MotionSection.h"
#include "ui/PermissionNotice.h"
#include "ui/PermissionPrompt.h"
#include "ui/PhoneSection.h"
#include "ui/QueueRows.h"
#include "ui/RemoteSection.h"
#include "ui/ScreenSection.h"
#include "ui/ShortSection.h"
#include "ui/SectionSlot.h"
#include "ui/StatusFooter.h"
#include "ui/TeleprompterSection.h"
#include "ui/TeleprompterToggle.h"
#include "ui/TransportRow.h"
#include "ui/VoiceOnlySection.h"
#include "ui/WheelGuard.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QEvent>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const char* slotName(ContentView::Slot slot)
{
    switch (slot) {
    case ContentView::Slot::cameraOnly: return "cameraOnlySection";
    case ContentView::Slot::voiceOnly: return "voiceOnlySection";
    case ContentView::Slot::short_: return "shortSection";
    case ContentView::Slot::motion: return "motionSection";
    case ContentView::Slot::teleprompter: return "teleprompterSection";
    case ContentView::Slot::remote: return "remoteSection";
    case ContentView::Slot::finishQueue: return "finishQueuePanel";
    case ContentView::Slot::enhanceQueue: return "enhanceQueuePanel";
    }
    return "";
}

constexpr std::array<ContentView::Slot, 8> allSlots{ContentView::Slot::cameraOnly, ContentView::Slot::voiceOnly, ContentView::Slot::short_,
    ContentView::Slot::motion, ContentView::Slot::teleprompter, ContentView::Slot::remote, ContentView::Slot::finishQueue,
    ContentView::Slot::enhanceQueue};
} // namespace

ContentView::ContentView(RecordingController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , actions_(WindowActions::forController(controller, this))
{
    setObjectName(QStringLiteral("contentView"));
    setFixedWidth(contentWidth);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    for (Slot slot : allSlots)
        slots_.push_back(new SectionSlot(QString::fromLatin1(slotName(slot)), this));

    header_ = new HeaderBar(controller, this);

    // Prompt branch: the prompt and the mode section, so a mode without screen access can be chosen.
    promptBranch_ = new QWidget(this);
    promptBranch_->setObjectName(QStringLiteral("promptBranch"));
    auto* promptLayout = new QVBoxLayout(promptBranch_);
    promptLayout->setContentsMargins(20, 20, 20, 20);
    promptLayout->setSpacing(14);
    prompt_ = new PermissionPrompt(actions_, promptBranch_);
    promptMode_ = new ModeSection(controller, actions_, promptBranch_);
    promptLayout->addWidget(prompt_);
    promptLayout->addWidget(promptMode_);

    // Scroll branch.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("settingsScrollArea"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(true);
    scrollContent_ = new QWidget(scroll_);
    scrollContent_->setObjectName(QStringLiteral("settingsColumn"));
    scrollLayout_ = new QVBoxLayout(scrollContent_);
    scrollLayout_->setContentsMargins(20, 20, 20, 20);
    scrollLayout_->setSpacing(18);
    microphoneNotice_ = new MicrophoneNotice(controller, scrollContent_);
    permissionNotice_ = new PermissionNotice(controller, actions_, scrollContent_);
    mode_ = new ModeSection(controller, actions_, scrollContent_);
    sections_ = new DividedColumn(0.18, 18, scrollContent_);
    screen_ = new ScreenSection(controller, sections_);
    camera_ = new CameraSection(controller, actions_, sections_);
    phone_ = new PhoneSection(controller, sections_);
    cameraOnly_ = new CameraOnlySection(controller, actions_);
    short_ = new ShortSection(controller, actions_);
    voiceOnly_ = new VoiceOnlySection(controller);
    slot(Slot::cameraOnly)->setSection(cameraOnly_);
    slot(Slot::short_)->setSection(short_);
    slot(Slot::voiceOnly)->setSection(voiceOnly_);
    motion_ = new MotionSection(controller);
    remote_ = new RemoteSection(controller);
    slot(Slot::motion)->setSection(motion_);
    slot(Slot::remote)->setSection(remote_);
    sections_->addMember(mode_);
    sections_->addMember(screen_);
    sections_->addMember(camera_);
    sections_->addMember(phone_);
    for (Slot member : {Slot::motion, Slot::cameraOnly, Slot::voiceOnly, Slot::short_, Slot::teleprompter, Slot::remote})
        sections_->addMember(this->slot(member));
    scrollLayout_->addWidget(microphoneNotice_);
    scrollLayout_->addWidget(permissionNotice_);
    scrollLayout_->addWidget(sections_);
    scrollLayout_->addStretch(1);
    scroll_->setWidget(scrollContent_);
    new WheelGuard(scroll_);
    scrollContent_->installEventFilter(this);

    // Bottom block: transport, status line and the job queues, in every mode and phase.
    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("bottomBlock"));
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(20, 14, 20, 14);
    bottomLayout->setSpacing(10);
    transport_ = new TransportRow(controller, actions_, bottom);
    footer_ = new StatusFooter(controller, bottom);
    bottomLayout->addWidget(transport_);
    bottomLayout->addWidget(footer_);
    bottomLayout->addWidget(slot(Slot::finishQueue));
    bottomLayout->addWidget(slot(Slot::enhanceQueue));
    placeQueuePanels();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(header_);
    column->addWidget(new Divider(0.25, this));
    column->addWidget(promptBranch_);
    column->addWidget(scroll_);
    column->addWidget(new Divider(0.25, this));
    column->addWidget(bottom);

    connect(&controller_, &RecordingController::changed, this, &ContentView::scheduleSync);
    sync();
}

ContentView::~ContentView() = default;

JobQueuePanel* ContentView::finishQueuePanel() const { return finishPanel_; }
JobQueuePanel* ContentView::enhanceQueuePanel() const { return enhancePanel_; }

void ContentView::revealFile(const QString& path)
{
    if (ControllerHooks* hooks = controller_.platform().hooks)
        hooks->revealFile(path);
    else
        actions_.revealInFileManager(path);
}

void ContentView::placeTeleprompter(TeleprompterWindow& teleprompter)
{
    QPointer<TeleprompterWindow> window(&teleprompter);
    const TeleprompterToggle::Panel panel{[window] { return window && window->isShown(); },
        [window](QScreen* screen) {
            if (window)
                window->show(screen);
        },
        [window] {
            if (window)
                window->hide();
        }};
    teleprompter_ = new TeleprompterSection(teleprompter.model(), controller_.teleprompterVisible(),
        [this, panel] { TeleprompterToggle::press(controller_, panel); });
    slot(Slot::teleprompter)->setSection(teleprompter_);
    sync();
}

void ContentView::placeQueuePanels()
{
    finishPanel_ = new JobQueuePanel;
    finishPanel_->setObjectName(QStringLiteral("finishQueuePanel"));
    enhancePanel_ = new JobQueuePanel;
    enhancePanel_->setObjectName(QStringLiteral("enhanceQueuePanel"));
    slot(Slot::finishQueue)->setSection(finishPanel_);
    slot(Slot::enhanceQueue)->setSection(enhancePanel_);
    finishPanel_->onPress = [this](const JobRow& row, JobRow::Button button) {
        switch (button) {
        case JobRow::Button::reveal: revealFile(row.revealPath); break;
        case JobRow::Button::retry: controller_.finishQueue().retryFinishJob(row.id); break;
        case JobRow::Button::dismiss: controller_.finishQueue().dismissFinishJob(row.id); break;
        }
    };
    enhancePanel_->onPress = [this](const JobRow& row, JobRow::Button button) {
        switch (button) {
        case JobRow::Button::reveal: revealFile(row.revealPath); break;
        case JobRow::Button::retry: controller_.retryEnhance(row.id); break;
        case JobRow::Button::dismiss: controller_.enhanceQueue().removeEnhanceJob(row.id); break;
        }
    };
}

SectionSlot* ContentView::slot(Slot slot) const
{
    const auto index = std::find(allSlots.begin(), allSlots.end(), slot) - allSlots.begin();
    return slots_[static_cast<size_t>(index)];
}

bool ContentView::showsPermissionPrompt() const
{
    return !controller_.hasScreenPermission() && controller_.captureMode() == CaptureMode::screen;
}

void ContentView::scheduleSync()
{
    // Many values change in one go (a device list, a take's start); draw once for all of them.
    if (syncPending_)
        return;
    syncPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (syncPending_)
            sync();
    });
}

void ContentView::sync()
{
    syncPending_ = false;
    const bool prompt = showsPermissionPrompt();
    promptBranch_->setVisible(prompt);
    scroll_->setVisible(!prompt);
    if (prompt)
        promptMode_->sync();

    header_->sync();
    microphoneNotice_->sync();
    permissionNotice_->sync();
    mode_->sync();
    const CaptureMode mode = controller_.captureMode();
    const bool screen = mode == CaptureMode::screen;
    screen_->setVisible(screen);
    camera_->setVisible(screen);
    phone_->setVisible(screen);
    if (screen) {
        screen_->sync();
        camera_->sync();
        phone_->sync();
    }
    // Another area's section shows only in its mode, and only once it has been placed.
    const auto showSlot = [this](Slot which, bool wanted) {
        SectionSlot* place = slot(which);
        place->setVisible(wanted && !place->isEmpty());
    };
    showSlot(Slot::motion, screen);
    showSlot(Slot::cameraOnly, mode == CaptureMode::cameraOnly);
    showSlot(Slot::voiceOnly, mode == CaptureMode::voice);
    showSlot(Slot::short_, mode == CaptureMode::short_);
    showSlot(Slot::teleprompter, true);
    showSlot(Slot::remote, true);
    if (screen && motion_)
        motion_->sync();
    if (mode == CaptureMode::cameraOnly && cameraOnly_)
        cameraOnly_->sync();
    if (mode == CaptureMode::short_ && short_)
        short_->sync();
    if (mode == CaptureMode::voice && voiceOnly_)
        voiceOnly_->sync();
    if (remote_)
        remote_->sync();
    if (teleprompter_)
        teleprompter_->setPanelVisible(controller_.teleprompterVisible());
    std::vector<JobRow> finishRows;
    for (const FinishJob& job : controller_.finishJobs())
        finishRows.push_back(QueueRows::finish(job, controller_.finishWaitingForBreak(), controller_.finishQueue().hasFinishRetry(job.id)));
    std::vector<JobRow> enhanceRows;
    for (const EnhanceQueue::EnhanceJob& job : controller_.enhanceQueue().enhanceJobs())
        enhanceRows.push_back(QueueRows::enhance(job));
    if (finishPanel_)
        finishPanel_->setRows(std::move(finishRows));
    if (enhancePanel_)
        enhancePanel_->setRows(std::move(enhanceRows));
    // An empty list takes no room in the bottom block.
    showSlot(Slot::finishQueue, !finishPanel_ || !finishPanel_->isEmpty());
    showSlot(Slot::enhanceQueue, !enhancePanel_ || !enhancePanel_->isEmpty());
    sections_->updateDividers();

    transport_->sync();
    footer_->sync();
    fitScrollArea();
}

namespace {
// Wrapped texts grow taller as their width shrinks; ask the layout at the width it really gets.
int heightAt(const QLayout* layout, int width)
{
    return layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : layout->totalSizeHint().height();
}
} // namespace

QSize ContentView::sizeHint() const { return {contentWidth, heightAt(layout(), contentWidth)}; }

void ContentView::fitScrollArea()
{
    fitPending_ = false;
    const int wanted = heightAt(scrollContent_->layout(), contentWidth);
    // The area follows its content up to its limit, then scrolls.
    const int height = std::min(wanted, maximumScrollHeight);
    if (scroll_->height() != height || scroll_->minimumHeight() != height)
        scroll_->setFixedHeight(height);
    scroll_->setVerticalScrollBarPolicy(wanted > maximumScrollHeight ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    updateGeometry();
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    // A section that grows or shrinks on its own (a wrapping text, a shown row) resizes the area.
    if (watched == scrollContent_ && event->type() == QEvent::LayoutRequest && !fitPending_) {
        fitPending_ = true;
        QTimer::singleShot(0, this, [this] {
            if (fitPending_)
                fitScrollArea();
        });
    }
    return QWidget::eventFilter(watched, event);
}
