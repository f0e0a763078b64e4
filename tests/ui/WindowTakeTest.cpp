// A real screen take driven as a user would: the save folder and Record are clicked in the window, the global
// keys from another client mark a zoom only while recording, pause, and Ctrl+R stops it. The X screen and the
// test sound server are recorded into the chosen folder and handed to finishing.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "XPointer.h"

#include "app/LinuxTakeServices.h"
#include "core/HotKeyCenter.h"
#include "core/RecordingController.h"
#include "takes/TakeControls.h"
#include "capture/PointerLog.h"
#include "core/SaveLocation.h"
#include "finishing/SaveJobHandover.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/x11/XcbGlobalKeyGrabber.h"
#include "support/HeldSaveJobs.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/MovieProbe.h"
#include "support/TestEnvironment.h"
#include "ui/ContentView.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include <qcorotask.h>

#include <gtest/gtest.h>

namespace {

void press(const char* keys) { ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)}), 0); }

class WindowTakeTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (const QString missing = TestEnvironment::missingForDrivenTakes(); !missing.isEmpty())
            GTEST_SKIP() << qUtf8Printable(missing);
        grabber = XcbGlobalKeyGrabber::create();
        ASSERT_TRUE(grabber);
        hotKeys = std::make_unique<HotKeyCenter>(grabber.get());
        // No camera: the take is the screen with the microphone and the system sound.
        services = std::make_unique<LinuxTakeServices>(LinuxTakeServices::Devices{&cameras, [](const QString&) { return CameraHubRegistry::Result{}; }});
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = services.get();
        platform.hotKeys = hotKeys.get();
        controller = std::make_unique<RecordingController>(platform);
        holdSaveJobs(controller->finishQueue(), jobs);
        controller->setCountdownSeconds(0);
        QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
        ASSERT_FALSE(controller->displays().empty());
        ASSERT_TRUE(hotKeys->refusedKeys().isEmpty()) << hotKeys->refusedKeys().join(QLatin1Char(' ')).toStdString();
        view = std::make_unique<ContentView>(*controller);
        view->actions().chooseSaveFolder = [this] {
            settings->setString(QString::fromLatin1(SaveLocation::settingsKey), chosen());
            return true;
        };
        ASSERT_TRUE(XPointer::showAt(*view, QPoint(860, 20)));
    }

    void TearDown() override
    {
        view.reset();
        controller.reset();
        services.reset();
        hotKeys.reset();
        grabber.reset();
        SandboxTest::TearDown();
    }

    QString chosen() const { return path(QStringLiteral("Chosen")); }
    QWidget* shown(const QString& name) const
    {
        for (QWidget* widget : view->findChildren<QWidget*>(name)) {
            if (widget->isVisibleTo(view.get()))
                return widget;
        }
        return nullptr;
    }
    void click(const QString& name)
    {
        QWidget* button = shown(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        ASSERT_TRUE(XPointer::click(button)) << "another window covers " << name.toStdString();
    }

    FakeAccessProbe access;
    FakeVideoDeviceCatalog cameras;
    std::unique_ptr<XcbGlobalKeyGrabber> grabber;
    std::unique_ptr<HotKeyCenter> hotKeys;
    std::unique_ptr<LinuxTakeServices> services;
    std::vector<SaveJobHandover> jobs;
    std::unique_ptr<RecordingController> controller;
    std::unique_ptr<ContentView> view;
};

TEST_F(WindowTakeTest, clickedRecordAndHotKeysFilmTheScreenIntoTheChosenFolder)
{
    click(QStringLiteral("changeSaveFolderButton"));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return SaveLocation::current(*settings) == chosen(); }, 3000));

    click(QStringLiteral("recordButton"));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->phase().kind() == RecordingPhase::Kind::recording; }, 8000))
        << controller->phase().payload().toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return shown(QStringLiteral("stopButton")) != nullptr; }, 2000));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return qobject_cast<QLabel*>(shown(QStringLiteral("timer"))) != nullptr; }, 2000));
    EXPECT_EQ(qobject_cast<QLabel*>(shown(QStringLiteral("timer")))->text().left(3), QStringLiteral("00:"));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->elapsed() > 2.0; }, 5000));
    press("super+alt+z");
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return readLog().contains(QStringLiteral("zoom mark in (")); }, 3000));

    press("ctrl+p");
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->phase().kind() == RecordingPhase::Kind::paused; }, 3000));
    EXPECT_EQ(controller->zoomMarkCount(), 1);
    press("super+alt+x"); // paused: ignored
    TestEnvironment::waitUntil([] { return false; }, 300);
    EXPECT_EQ(controller->zoomMarkCount(), 1);
    EXPECT_FALSE(readLog().contains(QStringLiteral("zoom mark out")));
    const double recorded = controller->elapsed();

    press("ctrl+r");
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return TestEnvironment::savedTheTake(controller->phase()); }, 15000))
        << controller->phase().payload().toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return shown(QStringLiteral("recordButton")) != nullptr; }, 2000));

    // The take's folder in the chosen recordings folder holds the screen movie with both sounds, as long as
    // the take ran before its pause.
    const QDir takeFolder(QDir(chosen()).filePath(QStringLiteral("video 1")));
    const QString raw = takeFolder.filePath(QStringLiteral("raw.mov"));
    ASSERT_TRUE(QFile::exists(raw));
    const QJsonObject probe = MovieProbe::streams(raw);
    const QJsonArray streams = probe[QStringLiteral("streams")].toArray();
    ASSERT_EQ(streams.size(), 3);
    EXPECT_EQ(streams[0][QStringLiteral("codec_name")].toString(), QStringLiteral("hevc"));
    EXPECT_NEAR(probe[QStringLiteral("format")][QStringLiteral("duration")].toString().toDouble(), recorded, 1.0);

    // Finishing takes it over; the footer names where the next take goes (the same folder, as take 2) and
    // the zoom mark of the take just made.
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].request.rawURL, raw);
    // A busy machine's lost-frames notice stands beside the footer's rows, never in their place.
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return qobject_cast<QLabel*>(shown(QStringLiteral("destinationLine"))) != nullptr; }, 2000));
    EXPECT_EQ(qobject_cast<QLabel*>(shown(QStringLiteral("destinationLine")))->text(),
        QStringLiteral("→ ") + takeFolder.path() + QStringLiteral("  (take 2)  ·  1 zoom mark(s)"));
}

TEST_F(WindowTakeTest, aTakeDrivenOnlyByHotKeysHasNoTypingInItsTelemetry)
{
    services->ignoreHotKeys(grabber.get());
    settings->setString(QString::fromLatin1(SaveLocation::settingsKey), chosen());
    press("ctrl+r");
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->phase().kind() == RecordingPhase::Kind::recording; }, 8000))
        << controller->phase().payload().toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->elapsed() > 1.0; }, 5000));
    press("ctrl+p");
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->phase().kind() == RecordingPhase::Kind::paused; }, 3000));
    press("ctrl+p");
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->phase().kind() == RecordingPhase::Kind::recording; }, 3000));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->elapsed() > 2.0; }, 5000));
    press("ctrl+r");
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return TestEnvironment::savedTheTake(controller->phase()); }, 15000))
        << controller->phase().payload().toStdString();

    const QDir takeFolder(QDir(chosen()).filePath(QStringLiteral("video 1")));
    QFile cursorFile(takeFolder.filePath(QStringLiteral("cursor.json")));
    ASSERT_TRUE(cursorFile.open(QIODevice::ReadOnly));
    const auto cursor = PointerLog::decoded(cursorFile.readAll());
    ASSERT_TRUE(cursor);
    EXPECT_TRUE(!cursor->keys || cursor->keys->empty()) << cursor->keys->size() << " keys";
    QFile zoomFile(takeFolder.filePath(QStringLiteral("zoom.json")));
    ASSERT_TRUE(zoomFile.open(QIODevice::ReadOnly));
    const QByteArray zoom = zoomFile.readAll();
    EXPECT_FALSE(zoom.contains("typing")) << zoom.constData();
    EXPECT_TRUE(QJsonDocument::fromJson(zoom).object()[QStringLiteral("zooms")].toArray().isEmpty()) << zoom.constData();
}

} // namespace
