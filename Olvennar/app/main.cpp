#include "app/FestrinApp.h"
#include "platform/system/Settings.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Olvennar"));
    QApplication::setApplicationVersion(QStringLiteral(OLVENNAR_VERSION));
    QApplication::setQuitOnLastWindowClosed(false); // the main window's close goes through the quit guard

    FestrinApp festrin(Settings::standard());
    festrin.showMainWindow();
    return app.exec();
}
