#pragma once

#include "capture/AudioOnlyRecorder.h"
#include "capture/ScreenRecorder.h"
#include "finishing/SaveJobHandover.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeCameraOnlySources.h"
#include "support/FakeFrontWindow.h"
#include "support/FakeInputEvents.h"
#include "support/FakePointerState.h"
#include "support/FakeScreenCapture.h"
#include "support/FakeScreenLayout.h"
#include "takes/OverlayRecorder.h"
#include "takes/TakeServices.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QWidget>

#include <functional>

#include <utility>

// A camera or phone that films when told: its movie is a small file written at stop.
class FakeOverlayRecorder final : public OverlayRecorder {
public:
    QStringList calls; // detaches and recordings
    bool attached = false;
    QString device;
    QSize size{640, 360};
    bool tall = false;
    std::vector<ClipSegment> segments;
    QString recordingPath;
    int stops = 0;

    std::optional<QString> configure(const QString& id, bool) override
    {
        attached = true;
        device = id;
        return std::nullopt;
    }
    void detach() override
    {
        calls << QStringLiteral("detach");
        attached = false;
        device.clear();
    }
    bool isAttached() const override { return attached; }
    QString attachedDeviceID() const override { return device; }
    void startPreview() override { }
    void stopPreview() override { }
    void setMirrored(bool) override { }
    bool preferTallFormat() const override { return tall; }
    void setPreferTallFormat(bool preferTall) override { tall = preferTall; }
    void refreshFormat() override { }
    QSize frameSize() const override { return size; }
    void startRecording(const QString& path, std::shared_ptr<RecordingClock>) override
    {
        calls << QStringLiteral("record ") + QFileInfo(path).fileName();
        recordingPath = path;
    }
    QCoro::Task<std::optional<QString>> stopRecording() override
    {
        ++stops;
        const QString path = std::exchange(recordingPath, QString());
        if (path.isEmpty())
            co_return std::nullopt;
        QFile movie(path);
        if (movie.open(QIODevice::WriteOnly))
            movie.write("camera frames");
        co_return path;
    }
    std::vector<ClipSegment> recordedSegments() override { return segments; }
    QWidget* createPreview(QWidget* parent) override { return new QWidget(parent); }
};

// Displays, devices and recorders of a machine the test builds (screen and voice takes): one 320 × 180 display whose frames the test
// pushes, scripted sound sources, pointer and clicks, and a save queue that keeps what it is handed.
class FakeTakeServices final : public TakeServices {
public:
    std::shared_ptr<FakeScreenCapture::State> screen = std::make_shared<FakeScreenCapture::State>();
    std::shared_ptr<FakeAudioCapture::State> microphone = std::make_shared<FakeAudioCapture::State>();
    std::shared_ptr<FakeAudioCapture::State> system = std::make_shared<FakeAudioCapture::State>();
    std::optional<std::vector<ScreenDisplay>> displays = std::vector<ScreenDisplay>{{7, QStringLiteral("fake"), QRect(0, 0, 320, 180), true}};
    std::vector<CaptureDeviceInfo> cameraList;
    std::vector<CaptureDeviceInfo> phoneList;
    std::vector<CaptureDeviceInfo> microphoneList;
    FakeOverlayRecorder camera;
    FakeOverlayRecorder phone;
    FakeInputEvents inputEvents;
    FakePointerState pointerState;
    FakeFrontWindow front;
    FakeScreenLayout screenLayoutNow{displays};
    std::vector<SaveJobHandover> jobs;
    ScreenRecorder* recorder = nullptr; // the last one made
    // The voice recorder's microphone: blocks the test pushes, or a real PulseAudio source when set.
    std::shared_ptr<FakeAudioCapture::State> voiceMicrophone = std::make_shared<FakeAudioCapture::State>();
    std::function<std::unique_ptr<AudioCapture>()> voiceCapture;
    SpeechAudioSink* voiceSpeech = nullptr;
    FakeCameraOnlySources cameraOnly; // what the camera-only recorder films from
    CameraOnlyRecorder* cameraOnlyRecorder = nullptr;

    std::optional<std::vector<ScreenDisplay>> availableDisplays() override { return displays; }
    std::unique_ptr<ScreenRecorder> makeScreenRecorder(RecordingClock& clock) override
    {
        ScreenRecorder::Sources sources;
        sources.screen = std::make_unique<FakeScreenCapture>(screen);
        sources.microphone = std::make_unique<FakeAudioCapture>(microphone);
        sources.systemAudio = std::make_unique<FakeAudioCapture>(system);
        auto made = std::make_unique<ScreenRecorder>(clock, std::move(sources));
        recorder = made.get();
        return made;
    }
    std::unique_ptr<AudioOnlyRecorder> makeVoiceRecorder() override
    {
        std::unique_ptr<AudioCapture> capture = voiceCapture ? voiceCapture() : std::make_unique<FakeAudioCapture>(voiceMicrophone);
        return std::make_unique<AudioOnlyRecorder>(std::move(capture), voiceSpeech);
    }
    std::unique_ptr<CameraOnlyRecorder> makeCameraOnlyRecorder() override
    {
        auto made = std::make_unique<CameraOnlyRecorder>(cameraOnly.sources());
        cameraOnlyRecorder = made.get();
        return made;
    }
    std::vector<CaptureDeviceInfo> cameras() override { return cameraList; }
    std::vector<CaptureDeviceInfo> phoneScreens() override { return phoneList; }
    std::vector<CaptureDeviceInfo> microphones() override { return microphoneList; }
    std::optional<CaptureDeviceInfo> bestMicrophone() override
    {
        return microphoneList.empty() ? std::nullopt : std::optional<CaptureDeviceInfo>(microphoneList.front());
    }
    OverlayRecorder& cameraRecorder() override { return camera; }
    OverlayRecorder& phoneRecorder() override { return phone; }
    InputEvents& input() override { return inputEvents; }
    PointerState& pointer() override { return pointerState; }
    FrontWindowSource& frontWindow() override { return front; }
    ScreenLayoutSource& screenLayout() override { return screenLayoutNow; }

    void announceDeviceChange() { Q_EMIT devicesChanged(); }
};

inline CaptureDeviceInfo device(const QString& id)
{
    CaptureDeviceInfo info;
    info.uniqueID = id;
    info.localizedName = id;
    return info;
}

