// Real "Just me" and short takes: PulseAudio records a desk-style microphone (a remapped source over a
// private null sink) and a camera films the test display, where a square flashes exactly while a tone plays.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "app/LinuxTakeServices.h"
#include "capture/CameraOnlyRecorder.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/system/HostClock.h"
#include "takedata/RecordingClock.h"
#include "platform/x11/XcbConnection.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/FlashToneClient.h"
#include "support/MovieProbe.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"

#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

#include <qcorotask.h>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

namespace {

using Kind = RecordingPhase::Kind;

constexpr int cameraWidth = 320;
constexpr int cameraHeight = 180;
const QRect flashSquare(600, 300, 80, 80);

void spin(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// A 30 fps camera pointed at the test display: each frame is noise (so the encoder has real work) with a
// centre block that is white while the flash square shows on the display, black otherwise.
class DisplayCamera final : public CameraHub {
public:
    static std::shared_ptr<DisplayCamera> make() { return std::shared_ptr<DisplayCamera>(new DisplayCamera()); }
    ~DisplayCamera() override { stopStreaming(); }

    QString uniqueID() const override { return QStringLiteral("display-camera"); }
    QString localizedName() const override { return QStringLiteral("Display Camera"); }
    std::vector<Format> formats() const override { return {{PixelFormat::yuyv, cameraWidth, cameraHeight, {{30, 30}}}}; }
    std::optional<size_t> activeFormatIndex() const override { return 0; }
    MediaTime activeFrameDuration() const override { return MediaTime(1, 30); }
    bool setActiveFormat(size_t, const MediaTime&) override { return true; }
    void unplug() { reportDisconnect(); }

private:
    DisplayCamera() = default;
    bool startStreaming() override
    {
        stopStreaming();
        running_ = true;
        thread_ = std::thread([this] { run(); });
        return true;
    }
    void stopStreaming() override
    {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
    }
    void run()
    {
        const auto x = XcbConnection::open();
        std::mt19937 noise(7);
        MediaTime next = HostClock::now();
        while (running_) {
            const MediaTime stamp = HostClock::now();
            const bool lit = x && squareLit(*x);
            auto frame = std::make_shared<PixelBuffer>(cameraWidth, cameraHeight);
            for (int y = 0; y < cameraHeight; ++y) {
                uint8_t* row = frame->row(y);
                for (int i = 0; i < cameraWidth; ++i) {
                    const bool block = std::abs(i - cameraWidth / 2) < 40 && std::abs(y - cameraHeight / 2) < 40;
                    const uint8_t level = block ? (lit ? 255 : 0) : static_cast<uint8_t>(64 + noise() % 128);
                    row[i * 4] = row[i * 4 + 1] = row[i * 4 + 2] = level;
                    row[i * 4 + 3] = 255;
                }
            }
            deliver(frame, stamp, MediaTime(1, 30));
            next = next + MediaTime(1, 30);
            const double wait = (next - HostClock::now()).seconds();
            if (wait > 0)
                std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(wait * 1e6)));
        }
    }
    static bool squareLit(XcbConnection& x)
    {
        const xcb_get_image_cookie_t cookie = xcb_get_image(x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(),
            static_cast<int16_t>(flashSquare.center().x()), static_cast<int16_t>(flashSquare.center().y()), 1, 1, ~0u);
        xcb_get_image_reply_t* reply = xcb_get_image_reply(x.get(), cookie, nullptr);
        if (!reply)
            return false;
        const uint8_t* pixel = xcb_get_image_data(reply);
        const bool lit = xcb_get_image_data_length(reply) >= 3 && pixel[0] > 200 && pixel[1] > 200 && pixel[2] > 200;
        free(reply);
        return lit;
    }

    std::atomic<bool> running_{false};
    std::thread thread_;
};

// A microphone as a desk has it: a real source remapped over a private null sink's monitor.
class DeskMicrophone {
public:
    static std::unique_ptr<DeskMicrophone> load(const QString& purpose)
    {
        auto sink = PrivateNullSink::load(purpose);
        if (!sink)
            return nullptr;
        std::unique_ptr<DeskMicrophone> made(new DeskMicrophone());
        made->source_ = sink->name() + QStringLiteral("_mic");
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
            QStringLiteral("master=") + sink->monitor(), QStringLiteral("source_name=") + made->source_,
            QStringLiteral("source_properties=device.description=Desk_Mic_") + purpose});
        if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
            return nullptr;
        made->module_ = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        made->sink_ = std::move(sink);
        return made;
    }
    ~DeskMicrophone() { QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module_}); }
    const QString& source() const { return source_; }
    const QString& sink() const { return sink_->name(); }

private:
    DeskMicrophone() = default;
    std::unique_ptr<PrivateNullSink> sink_;
    QString source_;
    QString module_;
};

// The top-level boxes of a file, in order.
QStringList topLevelBoxes(const QString& path)
{
    QFile file(path);
    QStringList boxes;
    if (!file.open(QIODevice::ReadOnly))
        return boxes;
    qint64 at = 0;
    while (at + 8 <= file.size()) {
        file.seek(at);
        const QByteArray head = file.read(16);
        quint64 size = (quint64(uint8_t(head[0])) << 24) | (quint64(uint8_t(head[1])) << 16) | (quint64(uint8_t(head[2])) << 8) | uint8_t(head[3]);
        if (size == 1 && head.size() >= 16) {
            size = 0;
            for (int i = 8; i < 16; ++i)
                size = (size << 8) | uint8_t(head[i]);
        }
        boxes << QString::fromLatin1(head.mid(4, 4));
        if (size < 8)
            break;
        at += static_cast<qint64>(size);
    }
    return boxes;
}

// When the centre block turns white in the picture, and when the tone starts in the sound, in file seconds.
struct Onsets {
    std::vector<double> flashes;
    std::vector<double> tones;
};

Onsets onsets(const QString& movie)
{
    Onsets found;
    bool white = false;
    MovieProbe::decodeVideo(movie, [&](double t, const QImage& picture) {
        const bool now = qGray(picture.pixel(cameraWidth / 2, cameraHeight / 2)) > 200;
        if (now && !white)
            found.flashes.push_back(t);
        white = now;
    });
    MovieProbe::Sound sound;
    MovieProbe::decodeAudio(movie, 0, sound);
    double lastLoud = -1;
    for (size_t i = 0; i < sound.mono.size(); ++i) {
        const double t = sound.startSeconds + static_cast<double>(i) / sound.sampleRate;
        if (std::fabs(sound.mono[i]) > 0.05) {
            if (t - lastLoud > 0.5)
                found.tones.push_back(t);
            lastLoud = t;
        }
    }
    return found;
}

class CameraOnlyTakeOnX11 : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (qgetenv("DISPLAY").isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X display";
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        microphone = DeskMicrophone::load(QStringLiteral("just_me"));
        ASSERT_TRUE(microphone);
        catalog.list = {FakeVideoDeviceCatalog::device(camera->uniqueID(), camera->localizedName())};
        makeController();
        controller->setSelectedCameraID(camera->uniqueID());
    }
    // A fresh studio whose camera is `camera`, with no countdown and the test microphone chosen.
    void makeController()
    {
        services = std::make_unique<LinuxTakeServices>(
            LinuxTakeServices::Devices{&catalog, [hub = camera](const QString&) { return CameraHubRegistry::Result{hub, std::nullopt}; }});
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = services.get();
        controller = std::make_unique<RecordingController>(platform);
        controller->setCountdownSeconds(0);
        controller->refreshDevices();
        controller->setSelectedMicrophoneID(microphone->source());
    }
    void TearDown() override
    {
        controller.reset();
        services.reset();
        microphone.reset();
        SandboxTest::TearDown();
    }

    // Starts a take and waits until it films.
    void startTake()
    {
        QCoro::waitFor(controller->start());
        ASSERT_EQ(controller->phase().kind(), Kind::recording) << controller->phase().payload().toStdString();
    }
    // Starts a take while the flash client plays `seconds` (a tone and a flash at every odd second of its
    // clock) and films until it is done. The room sounds before the take starts, as a real one does: the
    // null sink under the test microphone reports its latency truly only while something plays into it.
    void filmFlashes(double seconds)
    {
        auto client = FlashToneClient::start(qgetenv("DISPLAY"), flashSquare, microphone->sink(), seconds);
        ASSERT_TRUE(client);
        startTake();
        while (!client->waitUntilDone(0.05))
            spin(20);
    }
    void stopTake(bool byRemote = false)
    {
        controller->remote().setStopCameFromRemote(byRemote);
        QCoro::waitFor(controller->stop());
    }

    std::shared_ptr<DisplayCamera> camera = DisplayCamera::make();
    FakeVideoDeviceCatalog catalog;
    FakeAccessProbe access;
    std::unique_ptr<DeskMicrophone> microphone;
    std::unique_ptr<LinuxTakeServices> services;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(CameraOnlyTakeOnX11, JustMeTakesFilmInSyncMoveTheirIndexFrontAndARemoteStopTrimsTheNext)
{
    // With the usual countdown: the microphone opens when the count begins and its timing has settled when it
    // ends (a remapped source first reports more latency than it has and is corrected within seconds).
    QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
    controller->setCountdownSeconds(3);
    controller->setCaptureMode(CaptureMode::cameraOnly);
    filmFlashes(11.0);
    controller->setCountdownSeconds(0);
    stopTake();
    const QDir project(path(QStringLiteral("Recordings/video 1")));
    const QString final = project.filePath(QStringLiteral("final.mov"));
    ASSERT_EQ(controller->phase().kind(), Kind::finished) << controller->phase().payload().toStdString();
    EXPECT_EQ(controller->phase().payload(), final);

    // A finished movie: one index before the media, no fragments.
    const QStringList boxes = topLevelBoxes(final);
    EXPECT_EQ(boxes.count(QStringLiteral("moov")), 1) << boxes.join(QLatin1Char(' ')).toStdString();
    EXPECT_LT(boxes.indexOf(QStringLiteral("moov")), boxes.indexOf(QStringLiteral("mdat")));
    EXPECT_FALSE(boxes.contains(QStringLiteral("moof")));

    const QJsonObject probe = MovieProbe::streams(final, true);
    const QJsonObject video = MovieProbe::streamsOfType(probe, QStringLiteral("video")).at(0).toObject();
    const QJsonObject audio = MovieProbe::streamsOfType(probe, QStringLiteral("audio")).at(0).toObject();
    MovieProbe::expectFields(video, {{"codec_name", "h264"}, {"profile", "High"}, {"has_b_frames", "0"}, {"width", "320"}, {"height", "180"}});
    MovieProbe::expectFields(audio, {{"codec_name", "aac"}, {"sample_rate", "48000"}, {"channels", "1"}});
    const double bitRate = MovieProbe::number(video, QStringLiteral("bit_rate"));
    std::printf("final.mov video %.0f bit/s for a target of %d\n", bitRate, cameraWidth * cameraHeight * 6);
    EXPECT_NEAR(bitRate, cameraWidth * cameraHeight * 6, cameraWidth * cameraHeight * 6 * 0.1);
    std::printf("final.mov sound starts at %.3f s\n", MovieProbe::number(audio, QStringLiteral("start_time")));
    int sinceKey = 0, longestRun = 0;
    for (const QJsonObject& packet : MovieProbe::packetsOf(probe, video.value(QStringLiteral("index")).toInt())) {
        sinceKey = packet.value(QStringLiteral("flags")).toString().contains(QLatin1Char('K')) ? 1 : sinceKey + 1;
        longestRun = std::max(longestRun, sinceKey);
    }
    EXPECT_LE(longestRun, 60);

    // Within one frame; a tone's onset is found up to a millisecond into its first wave.
    const Onsets seen = onsets(final);
    ASSERT_GE(seen.flashes.size(), 2u);
    ASSERT_EQ(seen.flashes.size(), seen.tones.size());
    for (size_t i = 0; i < seen.flashes.size(); ++i) {
        std::printf("final.mov flash %zu: picture - sound = %+.1f ms\n", i, (seen.flashes[i] - seen.tones[i]) * 1000);
        EXPECT_LE(std::fabs(seen.flashes[i] - seen.tones[i]), 1.0 / 30 + 0.001);
    }

    // The next take goes into the project the first one made; the remote's stop loses its last 1.5 s.
    startTake();
    spin(5500);
    const double filmed = controller->elapsed();
    stopTake(true);
    const QString second = project.filePath(QStringLiteral("final-2.mov"));
    ASSERT_EQ(controller->phase().payload(), second);
    const double seconds = MovieProbe::number(MovieProbe::streams(second).value(QStringLiteral("format")).toObject(), QStringLiteral("duration"));
    std::printf("final-2.mov: %.2f s of %.2f s filmed\n", seconds, filmed);
    // The tail loses 1.5 s; the start gate may hold a few of the first frames too (more while a fresh microphone
    // settles).
    EXPECT_LT(seconds, filmed - 1.5 + 0.05);
    EXPECT_GT(seconds, filmed - 1.5 - 1.5);
    QFile sidecar(project.filePath(QStringLiteral("stop-2.json")));
    ASSERT_TRUE(sidecar.open(QIODevice::ReadOnly));
    const QJsonObject stop = QJsonDocument::fromJson(sidecar.readAll()).object();
    EXPECT_EQ(stop.value(QStringLiteral("stoppedBy")).toString(), QStringLiteral("remote-button"));
    EXPECT_NEAR(stop.value(QStringLiteral("tailTrimmedSeconds")).toDouble(), 1.5, 0.05) << "cut where the sound and picture allow";
}

TEST_F(CameraOnlyTakeOnX11, TheRecorderKeepsEachFlashAndItsToneWithinOneFrame)
{
    auto sink = PrivateNullSink::load(QStringLiteral("cameraonly_sync"));
    ASSERT_TRUE(sink);
    CameraOnlyRecorder::Sources sources;
    sources.openCamera = [hub = camera](const QString&) -> std::variant<std::shared_ptr<CameraHub>, CameraHub::Error> { return hub; };
    sources.makeMicrophone = [] { return std::make_unique<PulseAudioCapture>(); };
    CameraOnlyRecorder recorder(std::move(sources));
    ASSERT_FALSE(recorder.configure(camera->uniqueID(), {sink->monitor(), QStringLiteral("monitor")}, false));
    recorder.startPreview();
    recorder.waitUntilFlowing();
    const QString movie = path(QStringLiteral("sync.mov"));
    ASSERT_FALSE(recorder.startRecording(movie, std::make_shared<RecordingClock>()));
    auto client = FlashToneClient::start(qgetenv("DISPLAY"), flashSquare, sink->name(), 4.0);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->waitUntilDone(10));
    ASSERT_EQ(QCoro::waitFor(recorder.stopRecording()), movie);
    const QJsonObject audio = MovieProbe::streamsOfType(MovieProbe::streams(movie), QStringLiteral("audio")).at(0).toObject();
    EXPECT_LT(MovieProbe::number(audio, QStringLiteral("start_time")), 1.0 / 30) << "the sound starts with the first frame";
    const Onsets seen = onsets(movie);
    ASSERT_EQ(seen.flashes.size(), 2u);
    ASSERT_EQ(seen.tones.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        std::printf("sync.mov flash %zu: picture - sound = %+.1f ms\n", i, (seen.flashes[i] - seen.tones[i]) * 1000);
        EXPECT_LE(std::fabs(seen.flashes[i] - seen.tones[i]), 1.0 / 30 + 0.001);
    }
}

TEST_F(CameraOnlyTakeOnX11, AnUnpluggedCameraKeepsWhatWasFilmedAndADiscardLeavesNothing)
{
    controller->setCaptureMode(CaptureMode::cameraOnly);
    startTake();
    spin(4000);
    camera->unplug();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->phase().kind() == Kind::failed; }, 5000));
    const QString text = controller->phase().payload();
    EXPECT_TRUE(text.startsWith(QStringLiteral("RECORDING STOPPED — saved up to 00:0"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(" in final.mov. (Could not write the recording: the camera was disconnected)"))) << text.toStdString();
    const QString final = path(QStringLiteral("Recordings/video 1/final.mov"));
    const double seconds = MovieProbe::number(MovieProbe::streams(final).value(QStringLiteral("format")).toObject(), QStringLiteral("duration"));
    EXPECT_GT(seconds, 1.0);
    EXPECT_FALSE(controller->routing().recorder()->isRunning()) << "the camera and microphone are let go";

    // A fresh camera for a take that is thrown away: its project folder goes with it.
    controller->setDestinationFolder(std::nullopt);
    camera = DisplayCamera::make();
    makeController();
    controller->setCaptureMode(CaptureMode::cameraOnly);
    startTake();
    spin(1500);
    QCoro::waitFor(controller->discard());
    EXPECT_EQ(controller->phase().kind(), Kind::idle);
    EXPECT_FALSE(QDir(path(QStringLiteral("Recordings/video 2"))).exists());
    EXPECT_TRUE(QFile::exists(final));
}

TEST_F(CameraOnlyTakeOnX11, AShortIsFilmedIntoADatedFolderAndExportedWithinTheStop)
{
    controller->setCaptureMode(CaptureMode::short_);
    filmFlashes(4.0);
    stopTake();
    const QString folderName = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("-short-1");
    const QDir shortFolder(path(QStringLiteral("Recordings/Shorts/")) + folderName);
    ASSERT_EQ(controller->phase().kind(), Kind::finished) << controller->phase().payload().toStdString();
    EXPECT_EQ(controller->phase().payload(), shortFolder.filePath(QStringLiteral("short.mov")));
    for (const char* name : {"raw.mov", "crop.json", "short.mov"})
        EXPECT_TRUE(shortFolder.exists(QLatin1String(name))) << name;
    EXPECT_EQ(controller->lastShortURL(), shortFolder.filePath(QStringLiteral("short.mov")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("short finished ") + folderName + QStringLiteral(": crop ")));
}

} // namespace
