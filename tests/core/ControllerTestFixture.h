#pragma once

#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/ControllerHooks.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "takedata/SpeechBusySink.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"

#include <QStringList>

#include <memory>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Records the camera height caps the controller asks for.
class RecordingHooks final : public ControllerHooks {
public:
    QStringList calls;

    void setCameraOnlyMaxHeight(std::optional<int> height) override
    {
        calls << QStringLiteral("max height ") + (height ? QString::number(*height) : QStringLiteral("none"));
    }
};

class RecordingSpeechBusy final : public SpeechBusySink {
public:
    std::vector<bool> values;
    void setBusy(bool busy) override { values.push_back(busy); }
};

// A controller over a sandboxed settings file, with recording fakes for its reactions.
class ControllerTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        settings->setString(QStringLiteral("projectsRoot"), path(QStringLiteral("Brain")));
    }

    RecordingController& controller()
    {
        if (!controller_) {
            Platform platform{*settings, access, &speech, &hooks};
            platform.kinds = &StudioTakeKinds::standard();
            platform.windows = &DesktopWindows::shared();
            controller_ = std::make_unique<RecordingController>(platform);
        }
        return *controller_;
    }
    // A second controller over the same settings, as after a restart.
    std::unique_ptr<RecordingController> relaunch()
    {
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        return std::make_unique<RecordingController>(platform);
    }

    static CaptureDeviceInfo microphone(const QString& id, const QString& name, int rank = 0)
    {
        CaptureDeviceInfo device;
        device.uniqueID = id;
        device.localizedName = name;
        device.rank = rank;
        return device;
    }
    static CaptureDeviceInfo camera(const QString& id, std::initializer_list<int> landscapeHeights)
    {
        CaptureDeviceInfo device;
        device.uniqueID = id;
        device.localizedName = id;
        for (int height : landscapeHeights)
            device.formats.push_back({height * 4 / 3, height, {{1, 30}}}); // 4:3, so 1440 lines fit in 1920
        return device;
    }

    FakeAccessProbe access;
    RecordingHooks hooks;
    RecordingSpeechBusy speech;
    std::unique_ptr<RecordingController> controller_;
};
