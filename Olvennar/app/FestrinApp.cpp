#include "app/FestrinApp.h"

#include "app/LinuxTakeServices.h"
#include "app/PlatformServices.h"
#include "app/StudioEnd.h"
#include "finishing/FinishQueue.h"
#include "core/RecordingController.h"
#include "finishing/RenderWork.h"
#include "takes/FinishKinds.h"
#include "core/ProjectFolder.h"
#include "core/SaveLocation.h"
#include "finishing/NoteFolders.h"
#include "finishing/TakeRecovery.h"
#include "platform/audio/PulseAudioPlayback.h"
#include "ui/ContentView.h"
#include "ui/ControllerShortPreviewSources.h"
#include "ui/DesktopHooks.h"
#include "ui/MainWindow.h"
#include "ui/QuitAlertDialog.h"
#include "ui/ShortWindows.h"
#include "platform/system/Settings.h"

#include <QPointer>

namespace {
// The launch sweep's findings already logged, so each is logged once.
const QString recoveryNotedKey = QStringLiteral("recoveryNoted");
// How long the end lets a take under way stop and be saved before the event loop ends; main() then waits
// up to 1.5 s for the pools, so the studio ends within 5 s.
constexpr int endBoundMilliseconds = 3500;
}

FestrinApp::FestrinApp(Settings& settings)
    : services_(std::make_unique<PlatformServices>(settings))
{
    quitGuard_.runAlert = [this](const QuitGuard::Alert& alert) { return QuitAlertDialog::run(alert, window_.get()); };
}

FestrinApp::~FestrinApp()
{
    if (services_)
        services_->hooks().attachShortWindows(nullptr);
}

RecordingController& FestrinApp::controller()
{
    if (!controller_) {
        controller_ = std::make_unique<RecordingController>(services_->platform());
        RecordingController* owner = controller_.get();
        shortSources_ = std::make_unique<ControllerShortPreviewSources>(*controller_);
        shortWindows_ = std::make_unique<ShortWindows>(*controller_, *shortSources_,
            [] { return std::make_unique<PulseAudioPlayback>(QStringLiteral("Last take")); });
        services_->hooks().attachShortWindows(shortWindows_.get());
        end_ = std::make_unique<StudioEnd>(*controller_, quitGuard_, endBoundMilliseconds);
        quitGuard_.endStudio = [end = end_.get()] { end->quit(); };
        QPointer<RecordingController> weak(owner);
        services_->hooks().onRevealFailed = [weak](const QString& sentence) {
            if (weak)
                weak->inform(sentence);
        };
    }
    return *controller_;
}

void FestrinApp::signalled(int number, std::int64_t receivedAt)
{
    controller();
    end_->signalled(number, receivedAt);
}

void FestrinApp::showMainWindow()
{
    if (!window_) {
        window_ = std::make_unique<MainWindow>(controller(), quitGuard_);
        window_->content()->placeTeleprompter(services_->teleprompter());
        connect(window_.get(), &MainWindow::contentShown, this, [this] { startUp(); });
    }
    window_->show();
    window_->raise();
}

void FestrinApp::bringForward()
{
    showMainWindow();
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->activateWindow();
}

QCoro::Task<> FestrinApp::startUp()
{
    RecordingController* controller = &this->controller();
    quitGuard_.finishingCount = [controller] { return controller->takesStillFinishing(); };
    quitGuard_.giveUpFinishing = [controller] { controller->giveUpFinishing(); };
    // What an earlier run left half done when it was killed: cut-short finish jobs run again, wherever their
    // notes are, and the rest is logged once (the findings already logged are remembered across launches).
    Settings& settings = services_->platform().settings;
    // A listed folder on a drive not mounted now stays listed for the launch that finds it.
    const NoteFolders listed(settings, [mounts = SaveLocation::MountTable::system()](const QString& folder) {
        return SaveLocation::isUnmountedMountPoint(folder, mounts) || SaveLocation::holdsDrives(folder, mounts);
    });
    TakeRecovery::Findings found = TakeRecovery::sweep(ProjectFolder::takeRoots(settings),
        settings.stringListValue(recoveryNotedKey).value_or(QStringList{}), listed);
    settings.setStringList(recoveryNotedKey, found.noted);
    // Each job handed on, not copied: a day's take's plan is some 170 MB, and the findings live on until the
    // displays are loaded.
    for (PendingRender::Job& render : found.renders)
        controller->finishQueue().submit(std::make_shared<RenderWork>(std::move(render)));
    for (TakeRecovery::Findings::StoppedRender& stopped : found.stoppedRenders)
        controller->finishQueue().listFailed(std::make_shared<RenderWork>(std::move(stopped.job)), stopped.reason);
    for (const QJsonObject& note : found.finishes) {
        if (std::shared_ptr<FinishWork> work = FinishKinds::resume(note))
            controller->finishQueue().submit(std::move(work));
    }
    co_await controller->checkPermissionAndLoadDisplays();
}
