#include "views/framing/FramingAssistantView.h"

#include "views/framing/FramingStyle.h"
#include "framing/FramingMonitor.h"
#include "views/framing/FramingStage.h"
#include "views/framing/FramingStatusBadge.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Until the first report knows better.
const QSizeF assumedCameraSize(1920, 1080);

QString rgba(const QColor& colour)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(colour.red()).arg(colour.green()).arg(colour.blue()).arg(colour.alphaF());
}

QPainterPath roundedRect(const QRectF& rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

// One crop of the strip: its thumbnail, its dot and name, and its first hint; a click selects it.
class FramingAssistantView::CropCard final : public QAbstractButton {
public:
    explicit CropCard(QWidget* parent)
        : QAbstractButton(parent)
        , thumbnail(new FramingStage(this))
        , dot(new QWidget(this))
        , name(new QLabel(this))
        , hint(new QLabel(this))
    {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(6, 6, 6, 6);
        column->setSpacing(5);
        thumbnail->setFixedHeight(92);
        column->addWidget(thumbnail);
        auto* row = new QHBoxLayout;
        row->setSpacing(5);
        dot->setFixedSize(8, 8);
        row->addWidget(dot, 0, Qt::AlignVCenter);
        name->setFont(FramingStyle::font(12, QFont::DemiBold));
        FramingStyle::setTextColour(name, FramingStyle::cream());
        row->addWidget(name, 1);
        column->addLayout(row);
        hint->setFont(FramingStyle::font(10));
        FramingStyle::setTextColour(hint, FramingStyle::cream(0.7));
        hint->setWordWrap(true);
        hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        hint->setFixedHeight(26);
        column->addWidget(hint);
        dot->installEventFilter(this);
        // The thumbnail's corners are rounded by a mask.
        thumbnail->installEventFilter(this);
        setCursor(Qt::PointingHandCursor);
    }

    void present(const FramingStage::Model& model, const FramingAdvice& advice, const QString& cropName, bool selected)
    {
        thumbnail->setModel(model);
        dotColour = FramingStyle::status(advice.status);
        dot->update();
        name->setText(cropName);
        hint->setText(advice.hints.isEmpty() ? QString() : advice.hints.first());
        highlighted = selected;
        update();
    }

    FramingStage* thumbnail;
    QWidget* dot;
    QLabel* name;
    QLabel* hint;
    QColor dotColour;
    bool highlighted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == dot && event->type() == QEvent::Paint) {
            QPainter painter(dot);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(dotColour);
            painter.drawEllipse(QRectF(dot->rect()));
            return true;
        }
        if (watched == thumbnail && event->type() == QEvent::Resize)
            thumbnail->setMask(roundedRect(QRectF(thumbnail->rect()), 6).toFillPolygon().toPolygon());
        return QAbstractButton::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.fillPath(roundedRect(box, 9), highlighted ? FramingStyle::cream(0.14) : QColor::fromRgbF(1, 1, 1, 0.04f));
        if (highlighted)
            painter.strokePath(roundedRect(box, 9), QPen(FramingStyle::cream(0.6), 1));
    }
};

// The stage with the selected crop's verdict in its lower left corner.
class FramingAssistantView::StageArea final : public QWidget {
public:
    StageArea(FramingStage* stage, QWidget* corner, FramingStatusBadge* badge, QWidget* parent)
        : QWidget(parent)
        , stage_(stage)
        , corner_(corner)
        , badge_(badge)
    {
        stage->setParent(this);
        corner->setParent(this);
        setMinimumHeight(300);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void placeCorner()
    {
        // As wide as the verdict's longest line, as tall as its lines need at that width.
        const int width = std::min(badge_->idealWidth() + 20, std::max(0, this->width() - 24));
        const int height = corner_->layout()->hasHeightForWidth() ? corner_->layout()->totalHeightForWidth(width) : corner_->sizeHint().height();
        corner_->setGeometry(12, this->height() - 12 - height, width, height);
        corner_->raise();
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        stage_->setGeometry(rect());
        placeCorner();
    }

private:
    FramingStage* stage_;
    QWidget* corner_;
    FramingStatusBadge* badge_;
};

namespace {

// Black at 0.55 behind the corner badge.
class CornerPlate final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedRect(QRectF(rect()), 9), QColor::fromRgbF(0, 0, 0, 0.55f));
    }
};

} // namespace

FramingAssistantView::FramingAssistantView(FramingMonitor& monitor, QImage still, QWidget* parent)
    : QWidget(parent)
    , monitor_(&monitor)
    , still_(std::move(still))
    , headerBadge_(new FramingStatusBadge(true))
    , countNote_(new QLabel)
    , toggle_(new QPushButton)
    , stage_(new FramingStage)
    , corner_(new CornerPlate)
    , cornerStatus_(new FramingStatusBadge(false))
    , strip_(new QWidget)
    , caption_(new QLabel)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.1f, 0.1f, 0.1f));
    setPalette(palette);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget;
    header->setMinimumHeight(44);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(16, 10, 16, 10);
    headerRow->setSpacing(12);
    // The verdict takes the room the note and the toggle leave.
    headerRow->addWidget(headerBadge_, 1, Qt::AlignVCenter);
    countNote_->setFont(FramingStyle::font(11));
    FramingStyle::setTextColour(countNote_, FramingStyle::cream(0.55));
    headerRow->addWidget(countNote_, 0, Qt::AlignVCenter);
    toggle_->setFlat(true);
    toggle_->setCursor(Qt::PointingHandCursor);
    toggle_->setFont(FramingStyle::font(12, QFont::Medium));
    toggle_->setToolTip(QStringLiteral("See the whole camera image, with what gets recorded outlined."));
    toggle_->setGraphicsEffect(new QGraphicsOpacityEffect(toggle_));
    connect(toggle_, &QPushButton::clicked, this, &FramingAssistantView::toggleSensor);
    headerRow->addWidget(toggle_, 0, Qt::AlignVCenter);
    column->addWidget(header);

    auto* plate = new QHBoxLayout(corner_);
    plate->setContentsMargins(10, 7, 10, 7);
    plate->addWidget(cornerStatus_);
    auto* area = new StageArea(stage_, corner_, cornerStatus_, this);
    column->addWidget(area, 1);

    auto* stripRow = new QHBoxLayout(strip_);
    stripRow->setContentsMargins(12, 10, 12, 0);
    stripRow->setSpacing(10);
    column->addWidget(strip_);

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 10, 16, 10);
    footer->setSpacing(0);
    caption_->setFont(FramingStyle::font(11));
    FramingStyle::setTextColour(caption_, FramingStyle::cream(0.7));
    caption_->setWordWrap(true);
    footer->addWidget(caption_, 1, Qt::AlignTop);
    footer->addSpacing(12);
    auto* note = new QLabel(QStringLiteral("Guides and hints are only on your screen — never in the recording."));
    note->setFont(FramingStyle::font(11));
    FramingStyle::setTextColour(note, FramingStyle::cream(0.45));
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignRight | Qt::AlignTop);
    footer->addWidget(note, 1, Qt::AlignTop);
    column->addLayout(footer);

    connect(&monitor, &FramingMonitor::changed, this, &FramingAssistantView::scheduleRefresh);
    refresh();
}

FramingAssistantView::~FramingAssistantView() = default;

void FramingAssistantView::scheduleRefresh()
{
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshPending_ = false;
        refresh();
    });
}

void FramingAssistantView::select(int index)
{
    selected_ = index;
    refresh();
}

void FramingAssistantView::toggleSensor()
{
    sensor_ = !sensor_;
    refresh();
}

double FramingAssistantView::viewToggleOpacity() const
{
    return static_cast<QGraphicsOpacityEffect*>(toggle_->graphicsEffect())->opacity();
}

void FramingAssistantView::refresh()
{
    const FramingReport report = monitor_ ? monitor_->report() : FramingReport::idle();
    const std::vector<ResolvedFramingCrop>& crops = report.crops;
    const int count = static_cast<int>(crops.size());
    // A selection beyond a shorter list shows the last crop but is kept until another card is clicked.
    const int index = crops.empty() ? 0 : std::min(selected_, count - 1);
    const std::optional<ResolvedFramingCrop> crop = crops.empty() ? std::nullopt : std::optional(crops[static_cast<size_t>(index)]);
    const bool perCropKnown = index < static_cast<int>(report.perCrop.size());

    headerBadge_->setAdvice(report.overall);
    countNote_->setVisible(count >= 2);
    countNote_->setText(tr("For all %n layouts", nullptr, count));
    toggle_->setText(sensor_ ? QStringLiteral("Show the crop") : QStringLiteral("Whole camera"));
    const QString symbol = sensor_ ? QStringLiteral("crop") : QStringLiteral("viewfinder");
    toggle_->setProperty("symbol", symbol);
    toggle_->setIcon(QIcon::fromTheme(sensor_ ? QStringLiteral("transform-crop") : QStringLiteral("camera-photo")));
    // The capsule is stronger while the whole picture shows.
    const double capsule = sensor_ ? 0.22 : 0.1;
    // Restyling re-polishes the button, so only when the view changed (reports come several times a second).
    if (toggle_->property("capsuleOpacity").toDouble() != capsule) {
        toggle_->setProperty("capsuleOpacity", capsule);
        toggle_->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 12px; padding: 5px 10px; }")
                                   .arg(rgba(FramingStyle::cream(capsule)), rgba(FramingStyle::cream())));
    }
    const bool wholeAlready = !crops.empty() && crops.front().cropSpec.kind() == FramingCropSpec::Kind::fullFrame;
    toggle_->setEnabled(!wholeAlready);
    static_cast<QGraphicsOpacityEffect*>(toggle_->graphicsEffect())->setOpacity(wholeAlready ? 0.35 : 1.0);

    FramingStage::Model model;
    model.content = still_.isNull() ? FramingStageContent::live(monitor_ ? monitor_->livePreview() : nullptr)
                                    : FramingStageContent::still(still_);
    model.cameraSize = report.cameraSize.width() == 0 && report.cameraSize.height() == 0 ? assumedCameraSize : report.cameraSize;
    model.crop = crop;
    model.allCrops = crops;
    model.sensor = sensor_;
    model.guides = true;
    model.face = report.face;
    model.status = perCropKnown ? report.perCrop[static_cast<size_t>(index)].status : FramingStatus::unknown;
    stage_->setModel(std::move(model));

    const bool cornerShown = count >= 2 && perCropKnown;
    corner_->setVisible(cornerShown);
    if (cornerShown) {
        cornerStatus_->setAdvice(report.perCrop[static_cast<size_t>(index)], crop->name() + QStringLiteral(" only"));
        static_cast<StageArea*>(corner_->parentWidget())->placeCorner();
    }

    strip_->setVisible(count >= 2);
    refreshStrip(report, index);

    caption_->setText(crop ? crop->name() + QStringLiteral(": ") + crop->cropSpec.caption()
                           : QStringLiteral("Turn the camera on to check your framing."));
}

void FramingAssistantView::refreshStrip(const FramingReport& report, int index)
{
    const std::vector<ResolvedFramingCrop>& crops = report.crops;
    const size_t shown = crops.size() >= 2 ? crops.size() : 0;
    while (cards_.size() > shown) {
        // The click that shortened the strip may be the one running inside this very card.
        CropCard* card = cards_.back();
        cards_.pop_back();
        card->disconnect(this);
        card->hide();
        strip_->layout()->removeWidget(card);
        card->deleteLater();
    }
    while (cards_.size() < shown) {
        auto* card = new CropCard(strip_);
        const int position = static_cast<int>(cards_.size());
        connect(card, &QAbstractButton::clicked, this, [this, position] { select(position); });
        strip_->layout()->addWidget(card);
        cards_.push_back(card);
    }
    const QImage thumbnail = monitor_ && !monitor_->thumbnail().isNull() ? monitor_->thumbnail() : still_;
    for (size_t offset = 0; offset < cards_.size(); ++offset) {
        const FramingAdvice advice = offset < report.perCrop.size() ? report.perCrop[offset] : FramingAdvice{};
        FramingStage::Model model;
        model.content = FramingStageContent::still(thumbnail);
        model.cameraSize = report.cameraSize;
        model.crop = crops[offset];
        model.sensor = false;
        model.guides = false;
        cards_[offset]->present(model, advice, crops[offset].name(), static_cast<int>(offset) == index);
    }
}

FramingStage& FramingAssistantView::cardThumbnail(int index) const { return *cards_.at(static_cast<size_t>(index))->thumbnail; }

QString FramingAssistantView::cardHint(int index) const { return cards_.at(static_cast<size_t>(index))->hint->text(); }

bool FramingAssistantView::cardHighlighted(int index) const { return cards_.at(static_cast<size_t>(index))->highlighted; }
