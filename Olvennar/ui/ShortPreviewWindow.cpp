#include "ui/ShortPreviewWindow.h"

#include "core/RecordingController.h"
#include "framing/FramingMonitor.h"
#include "ui/ChannelChip.h"
#include "ui/ElidedLabel.h"
#include "ui/SegmentedControl.h"
#include "ui/ShortPreviewSources.h"
#include "ui/ThemeIcon.h"
#include "ui/WindowStyle.h"
#include "views/shorts/ShortFrameStage.h"
#include "views/shorts/ShortFramingBadge.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QColor cream = QColor::fromRgbF(0.961f, 0.929f, 0.847f);
const QColor rose = QColor::fromRgbF(0.831f, 0.643f, 0.604f);

QColor creamAt(double opacity)
{
    QColor color = cream;
    color.setAlphaF(opacity);
    return color;
}

QColor timerColor(ShortPreviewPresenter::TimerTone tone)
{
    switch (tone) {
    case ShortPreviewPresenter::TimerTone::white: return Qt::white;
    case ShortPreviewPresenter::TimerTone::orange: return WindowStyle::systemOrange();
    case ShortPreviewPresenter::TimerTone::red: return WindowStyle::systemRed();
    case ShortPreviewPresenter::TimerTone::dim: break;
    }
    return creamAt(0.45);
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QHBoxLayout* row(QWidget* owner, int left, int top, int right, int bottom, int spacing)
{
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(left, top, right, bottom);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

ShortPreviewWindow::ShortPreviewWindow(RecordingController& controller, ShortPreviewSources& sources, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , controller_(controller)
    , sources_(sources)
{
    setWindowTitle(QStringLiteral("Short frame"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMinimumSize(420, 380);
    resize(620, 560);
    // Dark whatever the desktop theme: the window is a monitor.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor::fromRgbF(0.1f, 0.1f, 0.1f));
    dark.setColor(QPalette::WindowText, cream);
    dark.setColor(QPalette::Button, QColor(58, 58, 58));
    dark.setColor(QPalette::ButtonText, cream);
    dark.setColor(QPalette::Base, QColor(40, 40, 40));
    dark.setColor(QPalette::Text, cream);
    setPalette(dark);
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    column->addWidget(buildScriptRow());
    column->addWidget(buildStage(), 1);
    column->addWidget(buildBottomRow());

    connect(&controller_, &RecordingController::changed, this, &ShortPreviewWindow::refresh);
    connect(&sources_.framing(), &FramingMonitor::reportChanged, this, &ShortPreviewWindow::refresh);
    refresh();
}

ShortPreviewWindow::~ShortPreviewWindow() = default;

QWidget* ShortPreviewWindow::buildHeader()
{
    auto* header = new QWidget(this);
    QHBoxLayout* layout = row(header, 12, 8, 12, 8, 10);
    timer_ = new QLabel(header);
    timer_->setFont(WindowStyle::monospaceFont(22, QFont::DemiBold));
    timer_->setToolTip(QStringLiteral("Amber from 40 s, red from 60 s."));
    chip_ = new ChannelChip(controller_.shortHeaderChannel(), header);
    auto* lock = new QWidget(header);
    QHBoxLayout* lockRow = row(lock, 0, 0, 0, 0, 4);
    lockIcon_ = new QLabel(lock);
    lockText_ = new ElidedLabel(Qt::ElideRight, lock);
    lockText_->setFont(WindowStyle::font(11));
    lock->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextColor(lockText_, creamAt(0.6));
    lockRow->addWidget(lockIcon_);
    lockRow->addWidget(lockText_, 1);
    viewChoice_ = new SegmentedControl(header);
    viewChoice_->setSegments({QStringLiteral("Whole camera"), QStringLiteral("Viewer view")});
    for (int i = 0; i < viewChoice_->count(); ++i)
        viewChoice_->segment(i)->setFont(WindowStyle::font(11));
    viewChoice_->setFixedWidth(190);
    viewChoice_->setCurrentIndex(0);
    connect(viewChoice_, &SegmentedControl::activated, this, [this](int index) { setViewerView(index == 1); });
    safeZones_ = new QCheckBox(QStringLiteral("Safe zones"), header);
    safeZones_->setFont(WindowStyle::font(11));
    connect(safeZones_, &QCheckBox::toggled, this, [this](bool on) { controller_.setShortSafeZones(on); });
    framingGuide_ = new QCheckBox(QStringLiteral("Framing guide"), header);
    framingGuide_->setFont(WindowStyle::font(11));
    framingGuide_->setToolTip(
        QStringLiteral("Eye line + face size, approximating the editor's own crop. Never recorded, and never required — it only coaches."));
    connect(framingGuide_, &QCheckBox::toggled, this, [this](bool on) { controller_.setShortFramingGuide(on); });
    layout->addWidget(timer_);
    layout->addWidget(chip_);
    layout->addWidget(lock, 1);
    layout->addSpacing(6);
    layout->addWidget(viewChoice_);
    layout->addWidget(safeZones_);
    layout->addWidget(framingGuide_);
    return header;
}

QWidget* ShortPreviewWindow::buildScriptRow()
{
    scriptRow_ = new QWidget(this);
    QHBoxLayout* layout = row(scriptRow_, 12, 0, 12, 6, 8);
    scriptTitle_ = new ElidedLabel(Qt::ElideRight, scriptRow_);
    scriptTitle_->setFont(WindowStyle::font(11, QFont::Medium));
    setTextColor(scriptTitle_, creamAt(0.8));
    clearScript_ = new QPushButton(QStringLiteral("Not this one"), scriptRow_);
    clearScript_->setFont(WindowStyle::font(10));
    clearScript_->setFixedHeight(18);
    clearScript_->setToolTip(QStringLiteral("Ignore this script for the next takes (plain <date>-short-<n> folders). Pressing Record on a "
                                            "script in Mirrabel again brings it back."));
    connect(clearScript_, &QPushButton::clicked, this, [this] {
        if (!controller_.shortCropLocked())
            sources_.ignoreNextTake();
    });
    layout->addWidget(scriptTitle_, 1);
    layout->addSpacing(6);
    layout->addWidget(clearScript_);
    return scriptRow_;
}

QWidget* ShortPreviewWindow::buildStage()
{
    stage_ = new ShortFrameStage(this);
    badge_ = new ShortFramingBadge(stage_);
    badge_->setCream(cream);
    stage_->installEventFilter(this);
    connect(stage_, &ShortFrameStage::positionDragged, this, [this](ShortFraming::Position position) {
        if (!viewerView_ && !controller_.shortCropLocked())
            controller_.setShortPosition({position.x, position.y});
    });
    return stage_;
}

QWidget* ShortPreviewWindow::buildBottomRow()
{
    auto* bottom = new QWidget(this);
    QHBoxLayout* layout = row(bottom, 12, 8, 12, 8, 8);
    frameText_ = new ElidedLabel(Qt::ElideMiddle, bottom);
    frameText_->setFont(WindowStyle::font(11));
    setTextColor(frameText_, creamAt(0.7));
    centre_ = new QPushButton(QStringLiteral("Centre"), bottom);
    WindowStyle::makeSmall(centre_);
    connect(centre_, &QPushButton::clicked, this, [this] {
        if (!controller_.shortCropLocked())
            controller_.setShortPosition({0.5, 0.5});
    });
    lastTake_ = new QPushButton(ThemeIcon::icon(QStringLiteral("play.fill"), cream), QStringLiteral("Last take"), bottom);
    WindowStyle::makeSmall(lastTake_);
    connect(lastTake_, &QPushButton::clicked, this, [this] { controller_.replayLastShort(); });
    layout->addWidget(frameText_, 1);
    layout->addSpacing(6);
    layout->addWidget(centre_);
    layout->addWidget(lastTake_);
    return bottom;
}

void ShortPreviewWindow::setViewerView(bool viewerView)
{
    const bool changed = viewerView != viewerView_;
    viewerView_ = viewerView;
    viewChoice_->setCurrentIndex(viewerView ? 1 : 0);
    if (changed)
        sources_.setViewerView(viewerView);
    refresh();
}

void ShortPreviewWindow::refresh()
{
    ShortPreviewPresenter::State state;
    state.phase = controller_.phase();
    state.elapsed = controller_.elapsed();
    state.frameSize = controller_.shortFrameSize();
    state.position = {controller_.shortPosition().x, controller_.shortPosition().y};
    state.viewerView = viewerView_;
    state.mirrorCamera = controller_.mirrorCamera();
    state.shortMirrorFile = controller_.shortMirrorFile();
    state.script = sources_.headerScript();
    state.canReplay = controller_.lastShortURL().has_value();
    const ShortPreviewPresenter::Shown shown = ShortPreviewPresenter::present(state);

    timer_->setText(shown.timerText);
    setTextColor(timer_, timerColor(shown.timerTone));
    const RecordingChannel channel = controller_.shortHeaderChannel();
    chip_->setChannel(channel);
    chip_->setToolTip(ShortPreviewPresenter::channelHelp(channel));
    const QString symbol = shown.locked ? QStringLiteral("lock.fill") : QStringLiteral("arrow.left.and.right");
    lockIcon_->setPixmap(ThemeIcon::painted(symbol, creamAt(0.6)).pixmap(12, 12));
    lockText_->setText(shown.lockText);
    {
        const QSignalBlocker zones(safeZones_);
        const QSignalBlocker guide(framingGuide_);
        safeZones_->setChecked(controller_.shortSafeZones());
        framingGuide_->setChecked(controller_.shortFramingGuide());
    }
    scriptRow_->setVisible(shown.scriptTitle.has_value());
    scriptTitle_->setText(QStringLiteral("Recording: ") + shown.scriptTitle.value_or(QString()));
    clearScript_->setEnabled(shown.clearScriptEnabled);

    const FramingReport& report = sources_.framing().report();
    ShortFrameStage::Look look;
    look.safeZones = controller_.shortSafeZones();
    look.viewerView = viewerView_;
    look.framingGuide = controller_.shortFramingGuide();
    look.eyeLineFlipped = shown.eyeLineFlipped;
    look.framing = report;
    look.cream = cream;
    look.rose = rose;
    stage_->setLive(sources_.livePreview());
    stage_->setFrameSize(state.frameSize);
    stage_->setPosition(shown.stagePosition);
    stage_->setLocked(shown.locked);
    stage_->setLook(look);
    badge_->setVisible(look.framingGuide);
    badge_->setAdvice(report.overall);
    placeBadge();

    frameText_->setText(shown.frameText);
    centre_->setEnabled(shown.centreEnabled);
    lastTake_->setEnabled(shown.replayEnabled);
}

void ShortPreviewWindow::placeBadge()
{
    badge_->resize(badge_->sizeHint());
    badge_->move(10, stage_->height() - badge_->height() - 10);
    badge_->raise();
}

bool ShortPreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == stage_ && event->type() == QEvent::Resize)
        placeBadge();
    return QWidget::eventFilter(watched, event);
}

void ShortPreviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The controller always knows which view is on screen, so the preview's mirroring suits it.
    sources_.setViewerView(viewerView_);
}

void ShortPreviewWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (onClose)
        onClose();
}
