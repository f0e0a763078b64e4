#include "ui/WindowActions.h"

#include "core/ControllerHooks.h"
#include "core/RecordingController.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Permissions.h"
#include "ui/FileManagerReveal.h"
#include "ui/SaveFolderDialog.h"

#include <QPointer>
#include <QWidget>

namespace {

// Fire and forget: the outcome shows through the controller's published values.
QCoro::Task<> grant(QPointer<RecordingController> controller, QCoro::Task<bool> (*request)(AccessProbe&))
{
    if (!controller)
        co_return;
    co_await request(controller->platform().access);
    if (controller)
        controller->refreshPermissions();
}

} // namespace

WindowActions WindowActions::forController(RecordingController& controller, QWidget* dialogParent)
{
    QPointer<RecordingController> weak(&controller);
    QPointer<QWidget> parent(dialogParent);
    WindowActions actions;
    actions.start = [weak] {
        if (weak)
            weak->start();
    };
    actions.stop = [weak] {
        if (weak)
            weak->stop();
    };
    actions.discard = [weak] {
        if (weak)
            weak->discard();
    };
    actions.togglePause = [weak] {
        if (weak)
            weak->togglePause();
    };
    actions.chooseSaveFolder = [weak, parent] { return weak && SaveFolderDialog::choose(weak->platform().settings, parent); };
    actions.revealInFileManager = [weak](const QString& path) {
        FileManagerReveal::reveal(path, [weak](const QString& sentence) {
            if (weak)
                weak->inform(sentence);
        });
    };
    actions.requestScreenPermission = [weak] {
        if (!weak)
            return;
        // Linux cannot grant screen access from inside the app: look again, and say what to change when it
        // is still missing. Then list the displays as after a grant.
        weak->refreshPermissions();
        if (!weak->hasScreenPermission())
            weak->platform().access.showInstruction(QString::fromLatin1(Permissions::screenCapturePane));
        weak->checkPermissionAndLoadDisplays();
    };
    actions.grantMicrophone = [weak] { grant(weak, &Permissions::requestMicrophone); };
    actions.grantCamera = [weak] { grant(weak, &Permissions::requestCamera); };
    actions.openFramingCheck = [weak] {
        if (weak)
            weak->openFramingCheck();
    };
    actions.openShortPreview = [weak] {
        if (weak)
            weak->openShortPreview();
    };
    actions.closeShortPreview = [weak] {
        if (weak && weak->platform().hooks)
            weak->platform().hooks->closeShortPreview();
    };
    actions.shortPreviewShown = [weak] { return weak && weak->routing().shortWindowOpen(); };
    actions.nextTake = [weak] { return weak ? weak->handoffs().channelNextTake() : std::optional<NextTake>(); };
    actions.ignoreNextTake = [weak] {
        if (weak)
            weak->handoffs().ignoreNextTake();
    };
    return actions;
}
