#include "views/shorts/ShortReplayWindow.h"

#include "platform/system/WindowFrameAutosave.h"
#include "takedata/ClockText.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <cmath>

namespace {

constexpr int sliderSteps = 1000;

// White on the dark bar whatever the desktop's icon theme.
QIcon controlIcon(bool pause)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    if (pause) {
        painter.drawRect(QRectF(8, 6, 6, 20));
        painter.drawRect(QRectF(18, 6, 6, 20));
    } else {
        painter.drawPolygon(QPolygonF({QPointF(9, 5), QPointF(26, 16), QPointF(9, 27)}));
    }
    return QIcon(pixmap);
}

QString clockText(double seconds) { return ClockText::format(seconds, ClockText::Form::minutes); }

} // namespace

ShortReplayWindow::ShortReplayWindow(Settings& settings, MoviePlayer::PlaybackFactory makePlayback, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , player_(std::move(makePlayback))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Last take"));
    resize(360, 640);
    setMinimumSize(180, 320);

    controls_ = new QWidget(this);
    controls_->setObjectName(QStringLiteral("replayControls"));
    controls_->setAutoFillBackground(false);
    controls_->setStyleSheet(QStringLiteral("#replayControls { background: rgba(20, 20, 20, 190); border-radius: 8px; }"
                                            "QLabel { color: white; }"));
    auto* row = new QHBoxLayout(controls_);
    row->setContentsMargins(8, 4, 10, 4);
    row->setSpacing(6);
    playButton_ = new QToolButton(controls_);
    playButton_->setAutoRaise(true);
    slider_ = new QSlider(Qt::Horizontal, controls_);
    slider_->setRange(0, sliderSteps);
    time_ = new QLabel(controls_);
    row->addWidget(playButton_);
    row->addWidget(slider_, 1);
    row->addWidget(time_);

    connect(playButton_, &QToolButton::clicked, this, [this] { player_.isPlaying() ? player_.pause() : player_.play(); });
    connect(slider_, &QSlider::sliderMoved, this, [this](int value) { player_.seek(player_.duration() * value / sliderSteps); });
    connect(&player_, &MoviePlayer::frameChanged, this, [this] {
        refreshControls();
        update(pictureRect());
    });
    connect(&player_, &MoviePlayer::playingChanged, this, [this] { refreshControls(); });

    new WindowFrameAutosave(*this, settings, QStringLiteral("ShortReplayWindow"));
    refreshControls();
}

ShortReplayWindow::~ShortReplayWindow() = default;

QString ShortReplayWindow::titleFor(const QString& path)
{
    return QStringLiteral("Last take — ") + QFileInfo(path).absoluteDir().dirName();
}

void ShortReplayWindow::play(const QString& path)
{
    setWindowTitle(titleFor(path));
    player_.pause();
    const std::optional<QString> failure = player_.load(path);
    failure_ = failure.value_or(QString());
    refreshControls();
    show();
    raise();
    activateWindow();
    if (!failure)
        player_.play();
    update();
}

QRect ShortReplayWindow::pictureRect() const
{
    const QImage& frame = player_.frame();
    const QSizeF shape = frame.isNull() ? QSizeF(9, 16) : QSizeF(frame.size());
    const QSizeF fitted = shape.scaled(QSizeF(size()), Qt::KeepAspectRatio);
    QRectF placed(QPointF(), fitted);
    placed.moveCenter(QRectF(rect()).center());
    return placed.toAlignedRect();
}

void ShortReplayWindow::refreshControls()
{
    playButton_->setIcon(controlIcon(player_.isPlaying()));
    playButton_->setToolTip(player_.isPlaying() ? QStringLiteral("Pause") : QStringLiteral("Play"));
    playButton_->setEnabled(failure_.isEmpty() && !player_.path().isEmpty());
    const double duration = player_.duration();
    const double shown = player_.isPlaying() ? player_.frameTime() : player_.position();
    if (!slider_->isSliderDown())
        slider_->setValue(duration > 0 ? static_cast<int>(std::lround(sliderSteps * std::clamp(shown / duration, 0.0, 1.0))) : 0);
    time_->setText(clockText(shown) + QStringLiteral(" / ") + clockText(duration));
}

void ShortReplayWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!failure_.isEmpty()) {
        painter.setPen(QColor(255, 255, 255, 180));
        painter.drawText(rect().adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap, failure_);
        return;
    }
    if (!player_.frame().isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(pictureRect(), player_.frame());
    }
}

void ShortReplayWindow::resizeEvent(QResizeEvent*)
{
    const int margin = 10;
    const int height = controls_->sizeHint().height();
    controls_->setGeometry(margin, this->height() - height - margin, width() - 2 * margin, height);
    // X11 window managers offer no aspect lock through Qt: put the 9:16 shape back once the resize settles.
    const int wanted = static_cast<int>(std::lround(width() * 16.0 / 9.0));
    if (!keepingShape_ && std::abs(wanted - this->height()) > 1) {
        keepingShape_ = true;
        QTimer::singleShot(0, this, [this, wanted] {
            resize(width(), wanted);
            keepingShape_ = false;
        });
    }
}

void ShortReplayWindow::closeEvent(QCloseEvent* event)
{
    player_.pause();
    event->accept();
}
