#pragma once

#include "core/ControllerHooks.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "core/SpeechBusySink.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"

#include <QStringList>

#include <memory>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Records every reaction the controller starts, in order, as short texts.
class RecordingHooks final : public ControllerHooks {
public:
    QStringList calls;

    void updateFramingRouting() override { calls << QStringLiteral("routing"); }
    void applyBubbleLayout(bool reanchor) override { calls << (reanchor ? QStringLiteral("bubble reanchor") : QStringLiteral("bubble")); }
    void refreshCameraFormatForLayout() override { calls << QStringLiteral("camera format"); }
    void cameraEnabledChanged() override { calls << QStringLiteral("camera enabled"); }
    void phoneEnabledChanged() override { calls << QStringLiteral("phone enabled"); }
    void applyPhoneLayout() override { calls << QStringLiteral("phone layout"); }
    void phoneShowsFrameChanged(bool showsFrame) override { calls << QStringLiteral("phone frame %1").arg(showsFrame); }
    void applyCameraMirroring(bool mirrored) override { calls << QStringLiteral("mirror %1").arg(mirrored); }
    void applyShortMirroring() override { calls << QStringLiteral("short mirroring"); }
    void setShortProfile(bool on) override { calls << QStringLiteral("short profile %1").arg(on); }
    void setCameraOnlyMaxHeight(std::optional<int> height) override
    {
        calls << QStringLiteral("max height ") + (height ? QString::number(*height) : QStringLiteral("none"));
    }
    void openShortPreview() override { calls << QStringLiteral("open short preview"); }
    void closeShortWindows() override { calls << QStringLiteral("close short windows"); }
    void playShort(const QString& path) override { calls << QStringLiteral("play ") + path; }
    void revealFile(const QString& path) override { calls << QStringLiteral("reveal ") + path; }
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
        if (!controller_)
            controller_ = std::make_unique<RecordingController>(Platform{*settings, access, &speech, &hooks});
        return *controller_;
    }
    // A second controller over the same settings, as after a restart.
    std::unique_ptr<RecordingController> relaunch() { return std::make_unique<RecordingController>(Platform{*settings, access}); }

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
