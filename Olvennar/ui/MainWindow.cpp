#include "ui/MainWindow.h"

#include "core/QuitGuard.h"
#include "platform/system/Edition.h"
#include "ui/ContentView.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>

MainWindow::MainWindow(RecordingController& controller, QuitGuard& quitGuard, QWidget* parent)
    : QMainWindow(parent)
    , quitGuard_(quitGuard)
    , content_(new ContentView(controller, this))
{
    setWindowTitle(Edition::appName());
    setCentralWidget(content_);
    // The window takes its size from its content; the file menu offers no second window.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &MainWindow::requestQuit);
}

void MainWindow::requestQuit() { close(); }

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The studio ends once the guard agreed; it lets a take under way stop before the event loop ends.
    if (quitGuard_.applicationShouldTerminate() == QuitGuard::Reply::terminateNow) {
        event->accept();
        quitGuard_.quit();
        return;
    }
    event->ignore();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        Q_EMIT contentShown();
}
