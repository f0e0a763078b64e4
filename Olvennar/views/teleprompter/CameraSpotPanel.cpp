#include "views/teleprompter/CameraSpotPanel.h"

#include "teleprompter/TeleprompterModel.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int panelWidth = 250;
constexpr int panelHeight = 156;
constexpr int crossHeight = 44;
constexpr int cardSidePadding = 12;

// The instruction on one line inside the panel: a desktop font wider than the one the card was drawn for
// steps down a pixel at a time, to 10 px; a line that still does not fit wraps.
void fitTitle(QLabel& title)
{
    const int room = panelWidth - 2 * cardSidePadding;
    QFont font = title.font();
    while (font.pixelSize() > 10 && QFontMetrics(font).horizontalAdvance(title.text()) > room)
        font.setPixelSize(font.pixelSize() - 1);
    title.setFont(font);
    title.setWordWrap(QFontMetrics(font).horizontalAdvance(title.text()) > room);
}

QString segmentTitle(CameraSide side)
{
    // "Under", "Left of", "Right of".
    return PrompterChoices::label(side).remove(QStringLiteral(" the camera"));
}

} // namespace

CameraSpotPanel::CameraSpotPanel(TeleprompterModel& model)
    : FloatingPanel(QStringLiteral("Camera spot"), false)
    , model_(model)
    , done_(new QPushButton(QStringLiteral("Done"), this))
    , card_(new QWidget(this))
{
    setFixedSize(panelWidth, panelHeight);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, crossHeight + 8, 0, 0);
    QWidget* card = card_;
    auto* cardColumn = new QVBoxLayout(card);
    cardColumn->setContentsMargins(cardSidePadding, 8, cardSidePadding, 8);
    card->setMaximumWidth(panelWidth);
    cardColumn->setSpacing(6);
    auto* title = new QLabel(QStringLiteral("Drag the cross onto your camera lens"), card);
    QFont titleFont = title->font();
    titleFont.setPixelSize(12);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    title->setStyleSheet(QStringLiteral("color: white;"));
    title->setAlignment(Qt::AlignCenter);
    fitTitle(*title);
    cardColumn->addWidget(title);

    auto* picker = new QWidget(card);
    picker->setFixedWidth(200);
    auto* row = new QHBoxLayout(picker);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* group = new QButtonGroup(this);
    for (size_t i = 0; i < allCameraSides.size(); ++i) {
        auto* button = new QPushButton(segmentTitle(allCameraSides[i]), picker);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        group->addButton(button, static_cast<int>(i));
        row->addWidget(button);
        sides_[i] = button;
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int id) { model_.setCameraSide(allCameraSides[static_cast<size_t>(id)]); });
    cardColumn->addWidget(picker, 0, Qt::AlignHCenter);
    done_->setFocusPolicy(Qt::NoFocus);
    cardColumn->addWidget(done_, 0, Qt::AlignHCenter);
    column->addWidget(card, 0, Qt::AlignHCenter | Qt::AlignTop);
    column->addStretch();
    connect(done_, &QPushButton::clicked, this, &CameraSpotPanel::doneClicked);
    connect(&model_, &TeleprompterModel::changed, this, &CameraSpotPanel::syncSides);
    syncSides();
    adjustSize();
    setFixedSize(panelWidth, panelHeight);
}

void CameraSpotPanel::syncSides()
{
    const auto index = static_cast<size_t>(model_.cameraSide());
    for (size_t i = 0; i < sides_.size(); ++i) {
        const QSignalBlocker blocker(sides_[i]);
        sides_[i]->setChecked(i == index);
    }
}

void CameraSpotPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor red(Qt::red);
    const QPointF centre(panelWidth / 2.0, crossHeight / 2.0);
    painter.setPen(QPen(red, 2));
    painter.drawEllipse(centre, 13, 13);
    painter.fillRect(QRectF(centre.x() - 0.75, centre.y() - crossHeight / 2.0, 1.5, crossHeight), red);
    painter.fillRect(QRectF(centre.x() - crossHeight / 2.0, centre.y() - 0.75, crossHeight, 1.5), red);
    painter.setPen(Qt::NoPen);
    painter.setBrush(red);
    painter.drawEllipse(centre, 2, 2);
    // The card behind the instruction, the picker and Done.
    QPainterPath path;
    path.addRoundedRect(QRectF(card_->geometry()), 10, 10);
    painter.fillPath(path, QColor(0, 0, 0, static_cast<int>(0.82 * 255)));
}
