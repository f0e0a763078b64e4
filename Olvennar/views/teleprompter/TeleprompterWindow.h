#pragma once

#include "teleprompter/PrompterPlacement.h"
#include "teleprompter/TeleprompterModel.h"
#include "teleprompter/TeleprompterStepper.h"

#include <QObject>
#include <QPointer>
#include <QScreen>

#include <memory>

class CameraSpotMarker;
class Settings;
class TeleprompterPanel;
class VoiceFollowSwitch;

// Owner of the teleprompter: its one model, the floating panel while shown, the panel's placement for each
// position, the memory of where the user last put it, the camera-spot marker, and the switch of speech
// recognition, wanted exactly while the panel is shown in follow mode. Made once with the controller and
// kept for the whole run. Main thread only.
class TeleprompterWindow : public QObject, public TeleprompterStepper {
    Q_OBJECT

public:
    // `speech` may be null: voice following is then never switched on.
    TeleprompterWindow(Settings& settings, VoiceFollowSwitch* speech, QObject* parent = nullptr);
    ~TeleprompterWindow() override;

    TeleprompterModel& model() { return model_; }
    // Shows the panel on a screen (null: the primary screen); does nothing while it is shown.
    void show(QScreen* screen);
    void hide();
    bool isShown() const { return panel_ != nullptr; }
    // On while shown in follow mode, with the script's words and text; otherwise off with an empty status.
    void syncSpeech();
    void applyPosition();
    // Remembers a move or resize by the user and switches to the free position without re-placing.
    void userMovedPanel();
    void beginCameraSpot();

    PrompterPlacement::Input placementInput(const PrompterPlacement::Screen& screen) const;
    QPointF cameraSpotPoint(const PrompterPlacement::Screen& screen) const;
    void storeCameraSpot(QPointF point, const PrompterPlacement::Screen& screen);

    TeleprompterPanel* panel() const { return panel_.get(); }
    CameraSpotMarker* spotMarker() const { return spotMarker_.get(); }

    void stepBox(int delta) override { model_.stepBox(delta); }
    bool isPanelShown() const override { return isShown(); }

Q_SIGNALS:
    void shownChanged(bool shown);

private:
    struct LaterDeleter {
        void operator()(QObject* object) const;
    };
    QScreen* targetScreen() const;

    Settings& settings_;
    VoiceFollowSwitch* speech_;
    TeleprompterModel model_;
    // After the model, so it goes first: its page reads the model to the end.
    std::unique_ptr<TeleprompterPanel> panel_;
    QPointer<QScreen> screen_;
    bool applying_ = false;
    std::unique_ptr<CameraSpotMarker, LaterDeleter> spotMarker_;
};
