#pragma once

#include "capture/CameraOnlyRecorder.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeCameraHub.h"

#include <functional>
#include <memory>
#include <mutex>
#include <variant>
#include <vector>

// What a camera-only recorder films from in tests: the listed fake cameras by unique ID and one scripted
// microphone the test drives. The list is read at every opening, so a test can replug a camera (a new hub
// under the same name); the recorder made must not outlive this object.
struct FakeCameraOnlySources {
    std::vector<std::shared_ptr<FakeCameraHub>> cameras;
    std::shared_ptr<FakeAudioCapture::State> microphone = std::make_shared<FakeAudioCapture::State>();
    SpeechAudioSink* speech = nullptr;
    // Called on the configuring thread each time the recorder opens the microphone.
    std::function<void()> openingMicrophone;

    void replug(const std::shared_ptr<FakeCameraHub>& camera)
    {
        std::lock_guard guard(lock_);
        for (auto& listed : cameras)
            if (listed->uniqueID() == camera->uniqueID())
                listed = camera;
    }

    CameraOnlyRecorder::Sources sources()
    {
        CameraOnlyRecorder::Sources made;
        made.openCamera = [this](const QString& id) -> std::variant<std::shared_ptr<CameraHub>, CameraHub::Error> {
            std::lock_guard guard(lock_);
            for (const auto& camera : cameras)
                if (camera->uniqueID() == id)
                    return camera;
            return CameraHub::Error{CameraHub::Error::Code::cannotOpen, id};
        };
        made.makeMicrophone = [this] {
            if (openingMicrophone)
                openingMicrophone();
            return std::make_unique<FakeAudioCapture>(microphone);
        };
        made.speech = speech;
        return made;
    }

private:
    std::mutex lock_;
};
