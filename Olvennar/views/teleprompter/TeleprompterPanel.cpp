#include "views/teleprompter/TeleprompterPanel.h"

#include "teleprompter/PrompterPlacement.h"
#include "views/teleprompter/PanelDragger.h"
#include "views/teleprompter/TeleprompterView.h"

#include <QVBoxLayout>

TeleprompterPanel::TeleprompterPanel(TeleprompterModel& model)
    : FloatingPanel(QStringLiteral("Teleprompter"), true)
    , view_(new TeleprompterView(model, this))
{
    setMinimumSize(PrompterPlacement::minimumSize.toSize());
    resize(PrompterPlacement::defaultSize.toSize());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    tick_.setTimerType(Qt::PreciseTimer);
    tick_.setInterval(tickMilliseconds);
    connect(&tick_, &QTimer::timeout, view_, &TeleprompterView::tick);
    tick_.start();
}

TeleprompterPanel::~TeleprompterPanel() = default;

void TeleprompterPanel::place(const QRect& geometry)
{
    dragger().forgetPress();
    setGeometry(geometry);
}

void TeleprompterPanel::orderFront()
{
    show();
    raise();
}
