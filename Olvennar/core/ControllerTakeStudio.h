#pragma once

#include "core/TakeSequence.h"

class RecordingController;

// The studio as the take sequence sees it, read from and changed through the controller. Main thread only.
class ControllerTakeStudio final : public TakeSequence::Studio {
public:
    explicit ControllerTakeStudio(RecordingController& controller) : controller_(controller) {}

    const RecordingPhase& phase() const override;
    void setPhase(const RecordingPhase& phase) override;
    void reset() override;
    void setElapsed(double seconds) override;
    void setZoomMarkCount(int count) override;
    CaptureMode captureMode() const override;
    RecordingChannel channel() const override;
    TakeStart settings() const override;
    HandoffWatch& handoffs() override;
    void refreshPermissions() override;
    void refreshDevices() override;
    void refreshDisplays() override;
    bool noCameraDevice() const override;
    int countdownSeconds() const override;
    const std::optional<QString>& destinationFolder() const override;
    void setDestinationFolder(const std::optional<QString>& folder) override;
    void refreshDestinationName() override;
    void setShortTakeChannel(RecordingChannel channel) override;
    void setLastFinalURL(const std::optional<QString>& path) override;
    void setLastShortURL(const std::optional<QString>& path) override;
    void showFinishedTake(const QString& path, const QString& note) override;
    void inform(const QString& sentence) override;
    void playSound(const QString& name) override;
    void alarmTakeFailed() override;
    const TakeLook& look() const override;
    FinishQueue& finishQueue() override;
    QStringList takesUnderWay(const QString& folder) const override;
    std::optional<QRect> screenFrame() const override;
    const CameraPanel* bubbleWindow() const override;
    const CameraPanel* phoneWindow() const override;
    BubbleShape bubbleShape() const override;
    double bubbleTilt() const override;
    double bubbleSize() const override;
    bool phoneShowsFrame() const override;
    void applyBubbleLayout(bool reanchor) override;
    void settleOverlayWindows() override;

private:
    RecordingController& controller_;
};
