#include "views/teleprompter/FloatingPanel.h"

#include "views/teleprompter/PanelDragger.h"

FloatingPanel::FloatingPanel(const QString& title, bool resizable)
    : dragger_(new PanelDragger(*this, resizable))
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(title);
    dragger_->movedByUser = [this] { Q_EMIT movedByUser(); };
}

FloatingPanel::~FloatingPanel() = default;
