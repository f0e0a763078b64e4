#include "app/FestrinApp.h"
#include "app/StudioInstance.h"
#include "platform/system/ProcessMemory.h"
#include "platform/system/Settings.h"
#include "platform/system/WorkerPool.h"

#include <QApplication>
#include <QFileInfo>

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

    FestrinApp festrin(Settings::standard());
    QObject::connect(&instance, &StudioInstance::knocked, &festrin, [&festrin] { festrin.bringForward(); });
    festrin.showMainWindow();
    return app.exec();
}
