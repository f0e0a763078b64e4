// A "Just me" take at 1080p30 with its microphone: 20 s of camera frames and 10 ms sound blocks, paced in real
// time, through the camera-only recorder (hub subscription, delivery queues, start gate, guards, writer), against
// the same frames and blocks appended straight to a capture-mode movie writer with the same settings, in the
// same process. Prints the frames each path dropped, CPU seconds per captured second and their ratio (goal:
// nothing dropped, the recorder within 1.1x of the writer alone). Run pinned: taskset -c 0,1 cameraonly_capture.
#include "capture/CameraOnlyRecorder.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/DispatchQueue.h"
#include "platform/system/HostClock.h"
#include "takedata/RecordingClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <qcorotask.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>
#include <variant>
#include <vector>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr double seconds = 20.0;
constexpr int rate = 30;

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Frames that change every time (noise moving across a gradient), so the encoder works as on a real picture.
std::vector<std::shared_ptr<const PixelBuffer>> makeFrames()
{
    std::vector<std::shared_ptr<const PixelBuffer>> frames;
    std::mt19937 noise(11);
    for (int n = 0; n < rate; ++n) {
        auto frame = std::make_shared<PixelBuffer>(width, height);
        for (int y = 0; y < height; ++y) {
            uint8_t* row = frame->row(y);
            for (int x = 0; x < width; ++x) {
                const uint8_t grain = static_cast<uint8_t>(noise() % 24);
                row[x * 4] = static_cast<uint8_t>((x + n * 8) / 8 + grain);
                row[x * 4 + 1] = static_cast<uint8_t>(y / 5 + grain);
                row[x * 4 + 2] = static_cast<uint8_t>((x + y) / 12 + grain);
                row[x * 4 + 3] = 255;
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

std::shared_ptr<const AudioBlock> toneBlock(int64_t index)
{
    auto block = std::make_shared<AudioBlock>();
    block->sampleRate = 48000;
    block->channels = 1;
    block->samples.resize(480);
    for (int i = 0; i < 480; ++i)
        block->samples[static_cast<size_t>(i)] = 0.3f * static_cast<float>(std::sin(2 * M_PI * 440 * (index * 480 + i) / 48000.0));
    return block;
}

// Plays the frames at 30 fps and the sound in 10 ms blocks, stamped on the host clock, for `seconds`.
void play(const std::vector<std::shared_ptr<const PixelBuffer>>& frames, const std::function<void(const MediaSample&)>& onFrame,
    const std::function<void(const MediaSample&)>& onBlock)
{
    std::thread sound([&] {
        const auto start = std::chrono::steady_clock::now();
        const MediaTime first = HostClock::now();
        for (int64_t b = 0; b < static_cast<int64_t>(seconds * 100); ++b) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * (b + 1)));
            onBlock(MediaSample::sound(toneBlock(b), first + MediaTime(b * 480, 48000)));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    for (int64_t n = 0; n < static_cast<int64_t>(seconds * rate); ++n) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(n * 1'000'000 / rate));
        onFrame(MediaSample::video(frames[static_cast<size_t>(n % rate)], HostClock::now(), MediaTime(1, rate)));
    }
    sound.join();
}

// A camera whose frames the benchmark hands in: the recorder subscribes to it as to any hub.
class BenchCamera final : public CameraHub {
public:
    static std::shared_ptr<BenchCamera> make() { return std::shared_ptr<BenchCamera>(new BenchCamera()); }
    QString uniqueID() const override { return QStringLiteral("bench"); }
    QString localizedName() const override { return QStringLiteral("Bench Camera"); }
    std::vector<Format> formats() const override { return {{PixelFormat::yuyv, width, height, {{30, 30}}}}; }
    std::optional<size_t> activeFormatIndex() const override { return 0; }
    MediaTime activeFrameDuration() const override { return MediaTime(1, rate); }
    bool setActiveFormat(size_t, const MediaTime&) override { return true; }
    void push(const MediaSample& frame) { deliver(frame.pixels, frame.presentationTime(), frame.duration()); }

private:
    BenchCamera() = default;
    bool startStreaming() override { return true; }
    void stopStreaming() override { }
};

// A microphone whose blocks the benchmark hands in.
class BenchMicrophone final : public AudioCapture {
public:
    explicit BenchMicrophone(BlockHandler* slot) : slot_(slot) { }
    std::optional<QString> start(const Request&, BlockHandler onBlock, FailureHandler) override
    {
        *slot_ = std::move(onBlock);
        return std::nullopt;
    }
    void stop() override { *slot_ = nullptr; }
    QString sourceDescription() const override { return QStringLiteral("Bench Microphone"); }

private:
    BlockHandler* slot_;
};

struct Run {
    double cpu = 0;
    int64_t dropped = 0;
};

Run throughWriter(const QString& path, const std::vector<std::shared_ptr<const PixelBuffer>>& frames)
{
    MovieWriter writer(path, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    VideoSettings settings;
    settings.codec = VideoSettings::Codec::h264;
    settings.width = width;
    settings.height = height;
    settings.averageBitRate = static_cast<int64_t>(width * height * 6.0);
    settings.maxKeyFrameInterval = 60;
    settings.preset = "veryfast";
    MovieWriterInput* video = writer.addVideoInput(settings);
    MovieWriterInput* audio = writer.addAudioInput({48000, 1, 256000});
    video->setExpectsMediaDataInRealTime(true);
    audio->setExpectsMediaDataInRealTime(true);
    writer.startWriting();
    std::atomic<int> pending{0};
    std::atomic<int64_t> dropped{0};
    MediaTime zero;
    {
        // The same hop and the same lag rule as the recorder: one queue for every writer call.
        DispatchQueue queue("bench.writer");
        const double start = cpuSeconds();
        zero = HostClock::now();
        writer.startSession(MediaTime::zero());
        play(
            frames,
            [&](const MediaSample& frame) {
                if (pending.load() >= CameraOnlyRecorder::writerBacklogFrames) {
                    ++dropped;
                    return;
                }
                ++pending;
                queue.async([&, frame] {
                    MediaSample retimed = frame;
                    retimed.timing[0].presentationTime = frame.presentationTime() - zero;
                    video->append(retimed);
                    --pending;
                });
            },
            [&](const MediaSample& block) {
                queue.async([&, block] {
                    MediaSample retimed = block;
                    retimed.timing[0].presentationTime = block.presentationTime() - zero;
                    if (retimed.presentationTime() >= MediaTime::zero())
                        audio->append(retimed);
                });
            });
        queue.sync([&] {
            video->markAsFinished();
            audio->markAsFinished();
            writer.finishWriting();
        });
        return {cpuSeconds() - start, dropped.load()};
    }
}

Run throughRecorder(const QString& path, const std::vector<std::shared_ptr<const PixelBuffer>>& frames)
{
    auto camera = BenchCamera::make();
    AudioCapture::BlockHandler microphone;
    CameraOnlyRecorder::Sources sources;
    sources.openCamera = [camera](const QString&) -> std::variant<std::shared_ptr<CameraHub>, CameraHub::Error> { return camera; };
    sources.makeMicrophone = [&microphone] { return std::make_unique<BenchMicrophone>(&microphone); };
    CameraOnlyRecorder recorder(std::move(sources));
    if (const auto error = recorder.configure(camera->uniqueID(), {QStringLiteral("bench"), QStringLiteral("Bench Microphone")}, false)) {
        std::fprintf(stderr, "configure: %s\n", qPrintable(error->description));
        return {};
    }
    recorder.startPreview();
    recorder.startRecording(path, std::make_shared<RecordingClock>());
    const double start = cpuSeconds();
    play(frames, [&](const MediaSample& frame) { camera->push(frame); }, [&](const MediaSample& block) {
        if (microphone)
            microphone(block);
    });
    QCoro::waitFor(recorder.stopRecording());
    return {cpuSeconds() - start, recorder.droppedFrames()};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const auto frames = makeFrames();
    const Run baseline = throughWriter(QDir(folder.path()).filePath(QStringLiteral("writer.mov")), frames);
    const Run recorder = throughRecorder(QDir(folder.path()).filePath(QStringLiteral("final.mov")), frames);
    std::printf("20 s of 1080p30 with mono sound, paced in real time\n");
    std::printf("writer alone:     %lld frames dropped, %.3f CPU s per captured second\n", static_cast<long long>(baseline.dropped), baseline.cpu / seconds);
    std::printf("camera-only take: %lld frames dropped, %.3f CPU s per captured second\n", static_cast<long long>(recorder.dropped), recorder.cpu / seconds);
    std::printf("ratio (take / writer alone): %.3f  (goal: 0 dropped, <= 1.1)\n", recorder.cpu / baseline.cpu);
    return 0;
}
