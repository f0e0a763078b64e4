#include "views/teleprompter/TeleprompterWindow.h"

#include "platform/system/Settings.h"
#include "teleprompter/DesktopPoints.h"
#include "teleprompter/RectNotation.h"
#include "teleprompter/VoiceFollowSwitch.h"
#include "views/teleprompter/CameraSpotMarker.h"
#include "views/teleprompter/TeleprompterPanel.h"

#include <QGuiApplication>

#include <cmath>

namespace {

const QString frameKey = QStringLiteral("prompterFrame");
const QString sizeKey = QStringLiteral("prompterSize");
const QString spotKey = QStringLiteral("prompterCameraSpot");

QRect pixels(const QRectF& rect)
{
    return {static_cast<int>(std::lround(rect.x())), static_cast<int>(std::lround(rect.y())),
        static_cast<int>(std::lround(rect.width())), static_cast<int>(std::lround(rect.height()))};
}

} // namespace

void TeleprompterWindow::LaterDeleter::operator()(QObject* object) const
{
    // The marker's Done runs inside the marker's own handler.
    if (object)
        object->deleteLater();
}

TeleprompterWindow::TeleprompterWindow(Settings& settings, VoiceFollowSwitch* speech, QObject* parent)
    : QObject(parent)
    , settings_(settings)
    , speech_(speech)
    , model_(settings)
{
    QPointer<TeleprompterWindow> weak(this);
    model_.positionChanged = [weak] {
        if (weak)
            weak->applyPosition();
    };
    model_.speechSettingsChanged = [weak] {
        if (weak)
            weak->syncSpeech();
    };
    model_.beginCameraSpot = [weak] {
        if (weak)
            weak->beginCameraSpot();
    };
}

TeleprompterWindow::~TeleprompterWindow()
{
    if (spotMarker_)
        spotMarker_->close();
    panel_.reset();
    if (speech_)
        speech_->setWanted(false, {}, {});
}

QScreen* TeleprompterWindow::targetScreen() const
{
    return screen_ ? screen_.data() : QGuiApplication::primaryScreen();
}

void TeleprompterWindow::show(QScreen* screen)
{
    if (panel_)
        return;
    screen_ = screen ? screen : QGuiApplication::primaryScreen();
    panel_.reset(new TeleprompterPanel(model_));
    connect(panel_.get(), &TeleprompterPanel::movedByUser, this, &TeleprompterWindow::userMovedPanel);
    applyPosition();
    panel_->orderFront();
    syncSpeech();
    Q_EMIT shownChanged(true);
}

void TeleprompterWindow::hide()
{
    model_.setScrolling(false);
    if (spotMarker_) {
        spotMarker_->close();
        spotMarker_.reset();
    }
    const bool wasShown = panel_ != nullptr;
    if (panel_) {
        panel_->disconnect(this);
        panel_->hide();
        panel_.reset();
    }
    if (speech_)
        speech_->setWanted(false, {}, {});
    model_.setSpeechStatus({});
    if (wasShown)
        Q_EMIT shownChanged(false);
}

void TeleprompterWindow::syncSpeech()
{
    if (panel_ && model_.mode() == PrompterMode::follow) {
        if (!speech_)
            return;
        QPointer<TeleprompterModel> model(&model_);
        speech_->setListeners(
            [model](const QString& text) {
                if (model)
                    model->hear(text);
            },
            [model](const QString& status) {
                if (model)
                    model->setSpeechStatus(status);
            });
        speech_->setWanted(true, TeleprompterScript::contextualWords(model_.text()), model_.text());
        return;
    }
    if (speech_)
        speech_->setWanted(false, {}, {});
    model_.setSpeechStatus({});
}

PrompterPlacement::Input TeleprompterWindow::placementInput(const PrompterPlacement::Screen& screen) const
{
    PrompterPlacement::Input input;
    input.screen = screen;
    input.position = model_.position();
    input.cameraSide = model_.cameraSide();
    input.fontSize = model_.fontSize();
    if (auto text = settings_.stringValue(sizeKey))
        input.storedSize = RectNotation::size(*text);
    if (auto text = settings_.stringValue(frameKey))
        input.storedFrame = RectNotation::rect(*text);
    input.cameraSpot = cameraSpotPoint(screen);
    return input;
}

void TeleprompterWindow::applyPosition()
{
    QScreen* screen = targetScreen();
    if (!panel_ || !screen)
        return;
    const QRectF frame = PrompterPlacement::frame(placementInput(DesktopPoints::screen(*screen)));
    applying_ = true;
    panel_->place(pixels(PrompterPlacement::withinWindowSystem(PrompterPlacement::toWindowSystem(frame, DesktopPoints::primaryHeight()))));
    applying_ = false;
}

void TeleprompterWindow::userMovedPanel()
{
    if (applying_ || !panel_)
        return;
    const QRectF frame = PrompterPlacement::fromWindowSystem(QRectF(panel_->geometry()), DesktopPoints::primaryHeight());
    settings_.setString(frameKey, RectNotation::fromRect(frame));
    settings_.setString(sizeKey, RectNotation::fromSize(frame.size()));
    if (model_.position() == PrompterPosition::custom)
        return;
    applying_ = true;
    model_.skipPositionCallback = true;
    model_.setPosition(PrompterPosition::custom);
    model_.skipPositionCallback = false;
    applying_ = false;
}

void TeleprompterWindow::beginCameraSpot()
{
    QScreen* screen = targetScreen();
    if (!screen)
        return;
    if (spotMarker_) {
        spotMarker_->close();
        spotMarker_.reset();
    }
    model_.skipPositionCallback = true;
    model_.setPosition(PrompterPosition::camera);
    model_.skipPositionCallback = false;
    const QPointF start = cameraSpotPoint(DesktopPoints::screen(*screen));
    QPointer<TeleprompterWindow> weak(this);
    spotMarker_.reset(new CameraSpotMarker(model_, start));
    spotMarker_->onMove = [weak](QPointF point) {
        if (!weak)
            return;
        if (QScreen* target = weak->targetScreen())
            weak->storeCameraSpot(point, DesktopPoints::screen(*target));
        weak->applyPosition();
    };
    spotMarker_->onDone = [weak] {
        if (weak)
            weak->spotMarker_.reset();
    };
    spotMarker_->show();
    applyPosition();
}

QPointF TeleprompterWindow::cameraSpotPoint(const PrompterPlacement::Screen& screen) const
{
    QPointF fractions = PrompterPlacement::defaultSpotFractions;
    if (auto text = settings_.stringValue(spotKey))
        fractions = RectNotation::point(*text);
    return PrompterPlacement::spotPoint(screen.frame, fractions);
}

void TeleprompterWindow::storeCameraSpot(QPointF point, const PrompterPlacement::Screen& screen)
{
    settings_.setString(spotKey, RectNotation::fromPoint(PrompterPlacement::spotFractions(screen.frame, point)));
}
