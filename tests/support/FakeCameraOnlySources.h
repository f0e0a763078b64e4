#pragma once

#include "capture/CameraOnlyRecorder.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeCameraHub.h"

#include <memory>
#include <variant>
#include <vector>

// What a camera-only recorder films from in tests: the listed fake cameras by unique ID and one scripted
// microphone the test drives.
struct FakeCameraOnlySources {
    std::vector<std::shared_ptr<FakeCameraHub>> cameras;
    std::shared_ptr<FakeAudioCapture::State> microphone = std::make_shared<FakeAudioCapture::State>();
    SpeechAudioSink* speech = nullptr;

    CameraOnlyRecorder::Sources sources() const
    {
        CameraOnlyRecorder::Sources made;
        made.openCamera = [cameras = cameras](const QString& id) -> std::variant<std::shared_ptr<CameraHub>, CameraHub::Error> {
            for (const auto& camera : cameras)
                if (camera->uniqueID() == id)
                    return camera;
            return CameraHub::Error{CameraHub::Error::Code::cannotOpen, id};
        };
        made.makeMicrophone = [microphone = microphone] { return std::make_unique<FakeAudioCapture>(microphone); };
        made.speech = speech;
        return made;
    }
};
