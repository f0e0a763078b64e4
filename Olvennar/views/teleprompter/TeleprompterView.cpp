#include "views/teleprompter/TeleprompterView.h"

#include "platform/system/Edition.h"
#include "teleprompter/PrompterBarLayout.h"
#include "teleprompter/PrompterMenus.h"
#include "teleprompter/TeleprompterModel.h"
#include "teleprompter/TeleprompterPalette.h"
#include "views/teleprompter/PrompterBar.h"

#include <QEasingCurve>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QTextDocument>
#include <QToolButton>
#include <QVariantAnimation>
#include <QWheelEvent>

#include <cmath>

namespace {

// Sliders are continuous: positions in hundredths (thousandths for the opacity).
constexpr int speedScale = 100;
constexpr int fontScale = 100;
constexpr int opacityScale = 1000;
constexpr int focusSlideMs = 250;
constexpr int readSlideMs = 380;
// The bars' sliders at ease, and how narrow they may go on a narrow page.
constexpr int speedSliderWidth = 90;
constexpr int followSliderWidth = 70;
constexpr int sliderFloor = 40;
// The status is at most this wide and is shortened with an ellipsis; on a narrow page down to its floor.
constexpr int statusWidth = 150;
constexpr int statusFloor = 48;
// A capsule keeps this far from the page's sides, as the follow bar does from its bottom.
constexpr int barSideGap = 8;

QSlider* continuousSlider(double minimum, double maximum, int scale, int width, QWidget* parent)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(static_cast<int>(std::lround(minimum * scale)), static_cast<int>(std::lround(maximum * scale)));
    slider->setFixedWidth(width);
    slider->setFocusPolicy(Qt::NoFocus);
    return slider;
}

void setSlider(QSlider* slider, double value, int scale)
{
    // The model's value may lie beyond the slider (a stored 80 pt); the handle stops at the end without
    // writing anything back.
    const QSignalBlocker blocker(slider);
    slider->setValue(static_cast<int>(std::lround(std::clamp(value * scale, double(slider->minimum()), double(slider->maximum())))));
}

QEasingCurve easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

QString colourSheet(const QColor& colour)
{
    return QStringLiteral("color: rgba(%1, %2, %3, %4); background: transparent; border: none;")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alphaF());
}

} // namespace

TeleprompterView::TeleprompterView(TeleprompterModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , slide_(new QVariantAnimation(this))
    , autoBar_(new PrompterBar(QColor(0, 0, 0, 128), QMargins(14, 8, 14, 8), false, this))
    , followBar_(new PrompterBar(Qt::transparent, QMargins(14, 7, 14, 7), true, this))
    , modeMenu_(new QMenu(this))
    , positionMenu_(new QMenu(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    slide_->setEasingCurve(easeOut());
    connect(slide_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shift_ = value.toDouble();
        update();
    });

    // The auto bar.
    auto* autoRow = autoBar_->row();
    autoRow->addWidget(menuButton(modeMenu_, modeButtons_, autoBar_));
    autoRow->addWidget(menuButton(positionMenu_, positionButtons_, autoBar_));
    autoRow->addWidget(glyphButton(QStringLiteral("play"), QStringLiteral("▶"), {}, autoBar_));
    autoRow->addWidget(glyphButton(QStringLiteral("restartAuto"), QStringLiteral("↺"), {}, autoBar_));
    autoRow->addWidget(glyphButton(QStringLiteral("up"), QStringLiteral("▲"), {}, autoBar_));
    autoRow->addWidget(glyphButton(QStringLiteral("down"), QStringLiteral("▼"), {}, autoBar_));
    speedSlider_ = continuousSlider(10, 110, speedScale, speedSliderWidth, autoBar_);
    autoRow->addWidget(speedSlider_);
    speedLabel_ = new QLabel(autoBar_);
    QFont mono(QStringLiteral("monospace"));
    mono.setPixelSize(11);
    speedLabel_->setFont(mono);
    speedLabel_->setFixedWidth(24);
    speedLabel_->setStyleSheet(colourSheet(QColor(255, 255, 255, 153)));
    autoRow->addWidget(speedLabel_);

    // The follow bar.
    auto* followRow = followBar_->row();
    followRow->addWidget(menuButton(modeMenu_, modeButtons_, followBar_));
    followRow->addWidget(menuButton(positionMenu_, positionButtons_, followBar_));
    followRow->addWidget(glyphButton(QStringLiteral("previous"), QStringLiteral("◀"), QStringLiteral("Previous box (Super+Alt+Left)"), followBar_));
    followRow->addWidget(glyphButton(QStringLiteral("next"), QStringLiteral("▶"), QStringLiteral("Next box (Super+Alt+Right, or hold the clicker)"), followBar_));
    followRow->addWidget(glyphButton(QStringLiteral("restartFollow"), QStringLiteral("↺"), QStringLiteral("Back to the start"), followBar_));
    auto* sizeGlyph = new QLabel(QStringLiteral("Aa"), followBar_);
    sizeGlyph->setObjectName(QStringLiteral("followGlyph"));
    followRow->addWidget(sizeGlyph);
    fontSlider_ = continuousSlider(18, 54, fontScale, followSliderWidth, followBar_);
    followRow->addWidget(fontSlider_);
    auto* opacityGlyph = new QLabel(QStringLiteral("◐"), followBar_);
    opacityGlyph->setObjectName(QStringLiteral("followGlyph"));
    followRow->addWidget(opacityGlyph);
    opacitySlider_ = continuousSlider(0, 1, opacityScale, followSliderWidth, followBar_);
    opacitySlider_->setToolTip(QStringLiteral("Background opacity: the text stays solid"));
    followRow->addWidget(opacitySlider_);
    statusLabel_ = new QLabel(followBar_);
    // The status may carry what the recogniser heard.
    statusLabel_->setTextFormat(Qt::PlainText);
    statusLabel_->setMaximumWidth(statusWidth);
    QFont statusFont = statusLabel_->font();
    statusFont.setPixelSize(10);
    statusLabel_->setFont(statusFont);
    // Shown only with a status: an empty one would still take a gap at the bar's end.
    statusLabel_->hide();
    followRow->addWidget(statusLabel_);

    connect(button(QStringLiteral("play")), &QToolButton::clicked, this, [this] { model_.setScrolling(!model_.isScrolling()); });
    connect(button(QStringLiteral("restartAuto")), &QToolButton::clicked, this, [this] { model_.restart(); });
    connect(button(QStringLiteral("up")), &QToolButton::clicked, this, [this] { model_.scroll(-1.4 * model_.fontSize()); });
    connect(button(QStringLiteral("down")), &QToolButton::clicked, this, [this] { model_.scroll(1.4 * model_.fontSize()); });
    connect(button(QStringLiteral("previous")), &QToolButton::clicked, this, [this] { model_.stepBox(-1); });
    connect(button(QStringLiteral("next")), &QToolButton::clicked, this, [this] { model_.stepBox(1); });
    connect(button(QStringLiteral("restartFollow")), &QToolButton::clicked, this, [this] { model_.restart(); });
    connect(speedSlider_, &QSlider::valueChanged, this, [this](int value) { model_.setSpeed(double(value) / speedScale); });
    connect(fontSlider_, &QSlider::valueChanged, this, [this](int value) { model_.setFontSize(double(value) / fontScale); });
    connect(opacitySlider_, &QSlider::valueChanged, this, [this](int value) { model_.setBgOpacity(double(value) / opacityScale); });
    connect(&model_, &TeleprompterModel::changed, this, &TeleprompterView::refresh);
    refresh();
}

TeleprompterView::~TeleprompterView() = default;

QToolButton* TeleprompterView::menuButton(QMenu* menu, std::vector<QToolButton*>& buttons, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    buttons.push_back(button);
    return button;
}

QToolButton* TeleprompterView::glyphButton(const QString& name, const QString& glyph, const QString& help, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(glyph);
    button->setToolTip(help);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QToolButton* TeleprompterView::button(const QString& name) const { return findChild<QToolButton*>(name); }

double TeleprompterView::wheelAmount(double verticalDelta, bool precise) { return -(precise ? verticalDelta : verticalDelta * 10); }

void TeleprompterView::fillMenus()
{
    auto fill = [](QMenu* menu, const std::vector<PrompterMenus::Entry>& entries) {
        menu->clear();
        for (const PrompterMenus::Entry& entry : entries) {
            if (entry.title.isEmpty()) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(entry.title);
            QObject::connect(action, &QAction::triggered, menu, entry.choose);
        }
    };
    fill(modeMenu_, PrompterMenus::modeEntries(model_));
    fill(positionMenu_, PrompterMenus::positionEntries(model_));
    for (QToolButton* b : modeButtons_) {
        b->setText(PrompterMenus::modeSymbol(model_) + u' ' + PrompterMenus::modeLabel(model_));
        b->setToolTip(PrompterMenus::modeHelp);
    }
    for (QToolButton* b : positionButtons_) {
        b->setText(PrompterMenus::positionSymbol(model_) + u' ' + PrompterMenus::positionLabel(model_));
        b->setToolTip(PrompterMenus::positionHelp);
    }
}

void TeleprompterView::refresh()
{
    const bool follow = model_.mode() == PrompterMode::follow;
    autoBar_->setVisible(!follow);
    followBar_->setVisible(follow);
    // A menu that is open keeps its entries until it closes.
    const QString menuState = QStringLiteral("%1|%2|%3|%4|%5")
                                  .arg(PrompterChoices::rawText(model_.mode()), model_.theme(), PrompterChoices::rawText(model_.position()),
                                      PrompterChoices::rawText(model_.cameraSide()))
                                  .arg(model_.bgOpacity());
    if (menuState != menuState_ && !modeMenu_->isVisible() && !positionMenu_->isVisible()) {
        menuState_ = menuState;
        fillMenus();
    }
    button(QStringLiteral("play"))->setText(model_.isScrolling() ? QStringLiteral("❚❚") : QStringLiteral("▶"));
    setSlider(speedSlider_, model_.speed(), speedScale);
    speedLabel_->setText(QString::number(static_cast<long long>(std::trunc(model_.speed()))));
    setSlider(fontSlider_, model_.fontSize(), fontScale);
    setSlider(opacitySlider_, model_.bgOpacity(), opacityScale);

    if (!styled_ || styledTheme_ != model_.theme()) {
        styled_ = true;
        styledTheme_ = model_.theme();
        const TeleprompterPalette& palette = TeleprompterPalette::forTheme(model_.theme());
        followBar_->setFill(palette.chrome);
        QColor chromeInk = palette.chromeInk;
        chromeInk.setAlphaF(0.9f);
        followBar_->setStyleSheet(QStringLiteral("QToolButton, QLabel#followGlyph { %1 font-size: 11px; }").arg(colourSheet(chromeInk)));
        autoBar_->setStyleSheet(QStringLiteral("QToolButton { %1 }").arg(colourSheet(QColor(255, 255, 255, 217))));
    }
    const QString status = model_.speechStatus();
    if (status != shownStatus_ || statusLabel_->text().isEmpty() != status.isEmpty()) {
        shownStatus_ = status;
        statusLabel_->setVisible(!status.isEmpty());
        statusLabel_->setToolTip(Qt::convertFromPlainText(status, Qt::WhiteSpaceNormal));
        // The text itself is shortened to the width its bar gives it (placeBars).
        statusLabel_->setStyleSheet(colourSheet(status.startsWith(QStringLiteral("Listening")) ? QColor::fromRgbF(0.20f, 0.55f, 0.30f) : QColor(255, 149, 0)));
    }
    syncColumn();
    syncShift();
    placeBars();
    update();
}

void TeleprompterView::syncColumn()
{
    if (model_.mode() != PrompterMode::auto_ || model_.text().isEmpty())
        return;
    // While the placeholder shows nothing is measured and the last height stays.
    column_.update({model_.text(), model_.style(), model_.fontSize(), width()});
    if (column_.height() != model_.contentHeight())
        model_.setContentHeight(column_.height());
}

void TeleprompterView::syncShift()
{
    if (model_.mode() != PrompterMode::follow)
        return;
    const double target = followPage_.targetShift(size(), model_);
    const int focus = model_.follower().focus();
    if (!shiftKnown_ || !isVisible()) {
        slide_->stop();
        shift_ = targetShift_ = target;
        shiftFocus_ = focus;
        shiftKnown_ = isVisible();
        return;
    }
    if (target == targetShift_)
        return;
    slide_->stop();
    slide_->setDuration(focus != shiftFocus_ ? focusSlideMs : readSlideMs);
    slide_->setStartValue(shift_);
    slide_->setEndValue(target);
    targetShift_ = target;
    shiftFocus_ = focus;
    slide_->start();
}

void TeleprompterView::settle()
{
    slide_->stop();
    shiftKnown_ = false;
    syncShift();
    update();
}

void TeleprompterView::placeBars()
{
    // Refreshes come with every scroll step: fit the rows again only when what they hold or the page's width
    // changed (the menus' labels, the speed, the status, the theme's lettering).
    const QString fitted = QStringLiteral("%1|%2|%3|%4|%5").arg(width()).arg(menuState_, speedLabel_->text(), shownStatus_, styledTheme_);
    const bool refit = fitted != barsFitted_;
    barsFitted_ = fitted;
    for (PrompterBar* bar : {autoBar_, followBar_}) {
        if (refit)
            fitBar(bar);
        bar->adjustSize();
        // The gap lies below the capsule; a shadow's margin may reach into it. A row wider than the page even
        // at its floors keeps its start on the page.
        const int bottomGap = bar == autoBar_ ? 10 : 8;
        const int x = std::max((width() - bar->width()) / 2, barSideGap - bar->shadowMargins().left());
        bar->move(x, height() - bottomGap - bar->capsule().bottom() - 1);
    }
}

PrompterBarLayout::Item TeleprompterView::barItem(QWidget* control) const
{
    if (control == speedSlider_)
        return {speedSliderWidth, sliderFloor};
    if (control == fontSlider_ || control == opacitySlider_)
        return {followSliderWidth, sliderFloor};
    if (control == statusLabel_) {
        const int width = std::min(statusLabel_->sizeHint().width(), statusWidth);
        return {width, std::min(width, statusFloor), true};
    }
    const int width = control->sizeHint().width();
    return {width, width};
}

QString TeleprompterView::statusText(int width) const
{
    return statusLabel_->fontMetrics().elidedText(shownStatus_, Qt::ElideRight, width);
}

void TeleprompterView::fitBar(PrompterBar* bar)
{
    if (bar == followBar_) {
        statusLabel_->setMaximumWidth(statusWidth);
        statusLabel_->setText(statusText(statusWidth));
    }
    QHBoxLayout* row = bar->row();
    std::vector<QWidget*> controls;
    std::vector<PrompterBarLayout::Item> items;
    for (int i = 0; i < row->count(); ++i) {
        QWidget* control = row->itemAt(i)->widget();
        if (control && !control->isHidden()) {
            controls.push_back(control);
            items.push_back(barItem(control));
        }
    }
    const PrompterBarLayout::Fit fit = PrompterBarLayout::fit(items, {}, width() - 2 * barSideGap);
    row->setSpacing(fit.spacing);
    QMargins margins = row->contentsMargins();
    margins.setLeft(bar->shadowMargins().left() + fit.padding);
    margins.setRight(bar->shadowMargins().right() + fit.padding);
    row->setContentsMargins(margins);
    for (size_t i = 0; i < controls.size(); ++i) {
        if (auto* slider = qobject_cast<QSlider*>(controls[i]))
            slider->setFixedWidth(fit.widths[i]);
        else if (controls[i] == statusLabel_ && fit.widths[i] < items[i].width) {
            statusLabel_->setMaximumWidth(fit.widths[i]);
            statusLabel_->setText(statusText(fit.widths[i]));
        }
    }
}

void TeleprompterView::tick()
{
    if (model_.mode() != PrompterMode::auto_ || !model_.isScrolling())
        return;
    const double limit = std::max(model_.contentHeight() - TeleprompterModel::endMargin, 0.0);
    if (model_.offset() < limit)
        model_.autoAdvance(model_.speed() / 30);
    else
        model_.setScrolling(false);
}

void TeleprompterView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    shiftKnown_ = false;
    refresh();
}

void TeleprompterView::wheelEvent(QWheelEvent* event)
{
    if (model_.mode() != PrompterMode::auto_) {
        QWidget::wheelEvent(event);
        return;
    }
    const bool precise = !event->pixelDelta().isNull();
    const double delta = precise ? event->pixelDelta().y() : event->angleDelta().y() / 120.0;
    model_.scroll(wheelAmount(delta, precise));
    event->accept();
}

void TeleprompterView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (model_.mode() == PrompterMode::follow) {
        followPage_.paint(painter, size(), model_, shift_);
        return;
    }
    paintAuto(painter);
}

void TeleprompterView::paintAuto(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath page;
    page.addRoundedRect(QRectF(rect()), 14, 14);
    painter.setClipPath(page);
    painter.fillPath(page, QColor(0, 0, 0, static_cast<int>(std::lround(0.78 * 255))));
    if (model_.text().isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(15);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 128));
        painter.drawText(QRectF(rect()).adjusted(24, 24, -24, -24), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
            QStringLiteral("Paste your script in the %1 window.").arg(Edition::appName()));
        return;
    }
    column_.paint(painter, 30 - model_.offset(), rect());
}
