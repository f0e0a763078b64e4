#include "views/framing/CountdownWindow.h"

#include "views/framing/PanelShape.h"
#include "platform/system/CancelToken.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWidget>

#include <algorithm>

class CountdownWindow::View final : public QWidget {
public:
    explicit View(CountdownModel& model)
        : model_(model)
        , shownValue_(model.value())
    {
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
            | Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        QObject::connect(&model_, &CountdownModel::changed, this, [this] { numberChanged(); });
        frames_.setTimerType(Qt::PreciseTimer);
        frames_.setInterval(16);
        QObject::connect(&frames_, &QTimer::timeout, this, [this] {
            if (since_.elapsed() / 1000.0 >= CountdownWindow::numberSpring.settleSeconds())
                frames_.stop();
            update();
        });
    }

    // How far the newest number has come in: 0 as it changes, 1 once the spring has settled.
    double transition() const
    {
        if (!frames_.isActive())
            return 1;
        return CountdownWindow::numberSpring.position(since_.elapsed() / 1000.0);
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
        // Counting down, the numbers roll downwards: the old one leaves below as the new one comes from above.
        const double p = transition();
        const double travel = 0.45 * 130;
        if (p < 1 && previousValue_ != shownValue_) {
            painter.setOpacity(std::clamp(1 - p, 0.0, 1.0));
            painter.drawText(QRectF(rect()).translated(0, p * travel), Qt::AlignCenter, QString::number(previousValue_));
        }
        painter.setOpacity(std::clamp(p, 0.0, 1.0));
        painter.drawText(QRectF(rect()).translated(0, (p - 1) * travel), Qt::AlignCenter, QString::number(shownValue_));
    }

private:
    void numberChanged()
    {
        previousValue_ = shownValue_;
        shownValue_ = model_.value();
        // The first number of a countdown is simply there; later ones spring in.
        if (isVisible()) {
            since_.start();
            frames_.start();
        }
        update();
    }

    CountdownModel& model_;
    int shownValue_;
    int previousValue_ = 0;
    QElapsedTimer since_;
    QTimer frames_;
};

CountdownWindow::CountdownWindow() = default;
CountdownWindow::~CountdownWindow() = default;

QWidget* CountdownWindow::panel() const { return panel_.get(); }

double CountdownWindow::numberTransition() const { return panel_ ? panel_->transition() : 1; }

QRect CountdownWindow::panelRect(const QRect& screen)
{
    const QPoint centre(screen.x() + screen.width() / 2, screen.y() + screen.height() / 2);
    return QRect(centre.x() - panelSize / 2, centre.y() - panelSize / 2, panelSize, panelSize);
}

QCoro::Task<bool> CountdownWindow::run(QRect screenGeometry, int from, CancelToken* token)
{
    if (from <= 0)
        co_return true;
    auto view = std::make_unique<View>(model_);
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
