#pragma once

#include "core/ScreenPlace.h"
#include "framing/CameraPanel.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takedata/RecordingPhase.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class ControllerHooks;
class OverlayRecorder;
class QTimer;
class StudioWindows;
class TakeServices;
struct Platform;

// The tethered phone's screen panel.
struct PhoneSettings {
    std::vector<CaptureDeviceInfo> phones;
    std::optional<QString> selectedPhoneID;
    bool phoneEnabled = false;
    bool phoneWaiting = false;
    bool phoneShowsFrame = true;
    double phoneHeight = 460;
};

// The phone's mirrored screen as a floating panel: its switch and settings, the phones listed, the phone
// recorder kept on the selected phone (also when one is plugged in or pulled during a take) and a 2.0 s poll
// while it waits for a phone.
//
// Threading: GUI thread only, like the controller that owns it. The recorder's frame-size callback may come
// from its capture thread; it is posted to the main loop before it touches the panel.
class PhoneScreenPanel : public QObject {
    Q_OBJECT

public:
    // What the panel reads from and reports to the studio.
    class Studio {
    public:
        virtual const RecordingPhase& phase() const = 0;
        virtual void setPhase(const RecordingPhase& phase) = 0;
        virtual std::optional<ScreenPlace> selectedScreen() const = 0;
        // Reads every device list again.
        virtual void refreshDevices() = 0;

    protected:
        ~Studio() = default;
    };

    static constexpr double cornerRadius = 22;

    PhoneScreenPanel(Studio& studio, const Platform& platform, QObject* parent = nullptr);
    ~PhoneScreenPanel() override;

    const std::vector<CaptureDeviceInfo>& phones() const { return settings_.phones; }
    void setPhones(std::vector<CaptureDeviceInfo> phones);
    const std::optional<QString>& selectedPhoneID() const { return settings_.selectedPhoneID; }
    void setSelectedPhoneID(const std::optional<QString>& id);
    bool phoneEnabled() const { return settings_.phoneEnabled; }
    void setPhoneEnabled(bool on);
    bool phoneWaiting() const { return settings_.phoneWaiting; }
    void setPhoneWaiting(bool waiting);
    bool phoneShowsFrame() const { return settings_.phoneShowsFrame; }
    void setPhoneShowsFrame(bool showsFrame);
    double phoneHeight() const { return settings_.phoneHeight; }
    void setPhoneHeight(double height);

    // Makes the panel match its switch and the phones present.
    void reconcile();
    // The 2.0 s poll for a phone while the panel waits for one.
    void watchForPhone(bool on);
    bool isWatchingForPhone() const { return watch_ != nullptr; }
    void showWindow();
    CameraPanel* window() const { return window_.get(); }
    // Between takes a panel switched off goes; during one the hidden panel stays, so the stop can measure it.
    void dropWindowIfOff();
    void applyLayout();

Q_SIGNALS:
    void changed();

private:
    void enabledChanged();
    OverlayRecorder* recorder() const;

    Studio& studio_;
    TakeServices* takes_;
    StudioWindows* windows_;
    ControllerHooks* hooks_;
    PhoneSettings settings_;
    std::unique_ptr<CameraPanel> window_;
    QTimer* watch_ = nullptr;
};
