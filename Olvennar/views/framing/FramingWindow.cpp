#include "views/framing/FramingWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

FramingWindow::FramingWindow(QWidget* content)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint)
    , content_(content)
{
    setWindowTitle(QStringLiteral("Check framing"));
    setMinimumSize(560, 520);
    resize(960, 760);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(content);
}

void FramingWindow::centreOnScreen()
{
    const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!display)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(display->availableGeometry().center());
    move(frame.topLeft());
}

void FramingWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    closeReported_ = false;
}

void FramingWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (!event->isAccepted() || closeReported_)
        return;
    closeReported_ = true;
    if (onClose)
        onClose();
}
