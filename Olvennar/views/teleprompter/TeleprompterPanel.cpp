#include "views/teleprompter/TeleprompterPanel.h"

#include "teleprompter/PrompterPlacement.h"
#include "views/teleprompter/TeleprompterView.h"

#include <QVBoxLayout>

TeleprompterPanel::TeleprompterPanel(TeleprompterModel& model)
    : view_(new TeleprompterView(model, this))
    , dragger_(new PanelDragger(*this, true))
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Teleprompter"));
    setMinimumSize(PrompterPlacement::minimumSize.toSize());
    resize(PrompterPlacement::defaultSize.toSize());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    tick_.setTimerType(Qt::PreciseTimer);
    tick_.setInterval(tickMilliseconds);
    connect(&tick_, &QTimer::timeout, view_, &TeleprompterView::tick);
    tick_.start();
    dragger_->movedByUser = [this] { Q_EMIT movedByUser(); };
}

TeleprompterPanel::~TeleprompterPanel() = default;

void TeleprompterPanel::place(const QRect& geometry)
{
    dragger_->forgetPress();
    setGeometry(geometry);
}

void TeleprompterPanel::orderFront()
{
    show();
    raise();
}
