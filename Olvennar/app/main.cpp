#include "app/FestrinApp.h"
#include "app/StudioInstance.h"
#include "platform/media/ExportGate.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/ProcessMemory.h"
#include "platform/system/QuitSignals.h"
#include "platform/system/Settings.h"
#include "platform/system/WorkerPool.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>

#include <cstdint>
#include <cstdlib>

namespace {
// How long the end of the application waits for background work to stop: a quit ends within 2 s.
constexpr int quitWaitMilliseconds = 1500;
// Whatever hangs, the process is gone this long after a termination signal, or after its event loop ended,
// so a hung studio never keeps its lock.
constexpr unsigned lastResortSeconds = 8;
constexpr unsigned teardownSeconds = 4;
}

int main(int argc, char* argv[])
{
    ProcessMemory::mapLargeBlocks();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Olvennar"));
    QApplication::setApplicationVersion(QStringLiteral(OLVENNAR_VERSION));
    QApplication::setQuitOnLastWindowClosed(false); // the main window's close goes through the quit guard

    // A second launch brings the running studio forward and leaves its files alone.
    StudioInstance instance(QFileInfo(Settings::standardFilePath()).absolutePath());
    if (!instance.claim())
        return 0;
    WorkerPool::startQtPoolAtNormalPriority();
    // A logout, `systemctl stop` or Ctrl+C ends the studio as a quit does, keeping the take under way; one
    // that came during the launch is answered once the event loop runs.
    QuitSignals quitSignals(lastResortSeconds);

    int status = 0;
    QDeadlineTimer quitWait;
    {
        FestrinApp festrin(Settings::standard());
        QObject::connect(&instance, &StudioInstance::knocked, &festrin, [&festrin] { festrin.bringForward(); });
        QObject::connect(&quitSignals, &QuitSignals::received, &festrin, [&festrin](int number, std::int64_t receivedAt) { festrin.signalled(number, receivedAt); });
        festrin.showMainWindow();
        status = app.exec();
        QuitSignals::endWithin(teardownSeconds);
        quitWait = QDeadlineTimer(quitWaitMilliseconds);
        // Nothing is left to bring forward; a launch from now on ends at once.
        instance.stopAnswering();
        // Exports under way (a render given up at "Quit anyway") stop at their next sample without writing.
        ExportGate::shared().abandon();
        // An end that came at its bound or at a second signal may find a recorder still closing its movie on
        // the take pool: it finishes before the takes and their recorders go.
        WorkerPool::takes().waitForDone(static_cast<int>(quitWait.remainingTime()));
    }
    // The lock is held until they have stopped, so a launch meanwhile never starts a second studio beside
    // their files. A pool that does not stop in time is not waited for: the process ends without it.
    if (!WorkerPool::waitForEveryPool(static_cast<int>(quitWait.remainingTime()))) {
        Diagnostics::log(QStringLiteral("quit: background work did not stop in time; the studio ends without it"));
        Diagnostics::flush();
        std::_Exit(status);
    }
    return status;
}
