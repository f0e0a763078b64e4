#include "framing/CountdownWindow.h"

#include "framing/PanelShape.h"
#include "platform/system/CancelToken.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace {

class CountdownView final : public QWidget {
public:
    explicit CountdownView(CountdownModel& model)
        : model_(model)
    {
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
            | Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        QObject::connect(&model_, &CountdownModel::changed, this, [this] { update(); });
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        QPainterPath circle;
        circle.addEllipse(QRectF(rect()));
        PanelShape::apply(*this, circle);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(0.17f, 0.08f, 0.03f, 0.82f));
        painter.drawEllipse(rect());
        QFont font = painter.font();
        font.setPixelSize(130);
        font.setWeight(QFont::DemiBold);
        painter.setFont(font);
        painter.setPen(QColor::fromRgbF(0.96f, 0.93f, 0.85f));
        painter.drawText(rect(), Qt::AlignCenter, QString::number(model_.value()));
    }

private:
    CountdownModel& model_;
};

} // namespace

CountdownWindow::CountdownWindow() = default;
CountdownWindow::~CountdownWindow() = default;

QWidget* CountdownWindow::panel() const { return panel_.get(); }

QRect CountdownWindow::panelRect(const QRect& screen)
{
    const QPoint centre(screen.x() + screen.width() / 2, screen.y() + screen.height() / 2);
    return QRect(centre.x() - panelSize / 2, centre.y() - panelSize / 2, panelSize, panelSize);
}

QCoro::Task<bool> CountdownWindow::run(QRect screenGeometry, int from, CancelToken* token)
{
    if (from <= 0)
        co_return true;
    auto view = std::make_unique<CountdownView>(model_);
    view->setGeometry(panelRect(screenGeometry));
    QWidget* shown = view.get();
    panel_ = std::move(view);
    model_.setValue(from);
    shown->show();
    shown->raise();
    bool completed = true;
    for (int n = from; n >= 1; --n) {
        model_.setValue(n);
        if (!co_await cancellableSleep(std::chrono::seconds(1), token))
            completed = false;
    }
    // Only the panel this run built is taken down; a newer run may have replaced it.
    if (panel_.get() == shown)
        panel_.reset();
    co_return completed;
}
