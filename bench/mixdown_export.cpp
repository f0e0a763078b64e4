// A screen take with a camera (1080p60 HEVC screen with two sound tracks, 720p30 camera starting 0.5 s late)
// exported in the studio look through Mixdown's pipeline, and in the same run through an ffmpeg filter graph
// doing the same work (screen scaled onto a still backdrop, camera scaled onto a card, sound mixed, same x264
// settings). Prints both wall times, their ratio, our speed against real time and peak memory for a short and
// the full export (flat when the pipeline's memory does not grow with the take).
//
// Then each stage alone over the same take and frame count, wall and CPU: decoding (ffmpeg, YUV out), decoding
// with conversion to BGRA (our reader), decoding the screen and camera to their own planes (the export's way), rendering,
// BGRA → YUV conversion, rendering the decoded screen and camera straight into the encoder's planes on one thread (the
// studio look's export path, no conversion), and the encoder's ceiling: the same
// number of already rendered and converted frames (as the export hands them over) through the writer at the
// finishing settings. Run it under
// `taskset -c 0,1` for the 2-core figures; the cores it may use are printed.
//
// Usage: mixdown_export [seconds, default 60] [studio]. The renderer here stands in for the compositor (a
// backdrop copy and two scaled pictures per frame); "studio" draws the real studio look instead.

#include "platform/media/ExportGate.h"
#include "compositing/FestrinCompositorRenderer.h"
#include "finishing/Mixdown.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/PlanarPictureConverter.h"
#include "platform/image/SerialRows.h"
#include "platform/media/PixelBufferViews.h"
#include "platform/system/ProcessMemory.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
const cv::Rect windowRect(192, 108, 1536, 864);
const cv::Rect cardRect(1488, 816, 384, 216);

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKilobytes = 0;
};

double cpuSecondsOf(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double selfCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSecondsOf(usage);
}

// Runs a program, waits for it and reports its wall time and its own peak memory.
ChildRun runChild(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto begin = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return {};
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return {};
    ChildRun run;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    run.peakKilobytes = usage.ru_maxrss;
    run.cpuSeconds = cpuSecondsOf(usage);
    return run;
}

long selfPeakKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class BackdropRenderer : public OverlayFrameRenderer {
public:
    BackdropRenderer()
        : backdrop_(width, height)
    {
        cv::Mat plate = PixelBufferViews::mat(backdrop_);
        for (int y = 0; y < height; ++y)
            plate.row(y).setTo(cv::Scalar(90 + y / 12, 60 + y / 20, 70, 255));
    }

    std::optional<ErrorInfo> render(const Frame& frame, PixelBuffer& output) override
    {
        if (!frame.screen)
            return ErrorInfo {QStringLiteral("Bench"), 1, QStringLiteral("A screen frame was missing during export.")};
        cv::Mat target = PixelBufferViews::mat(output);
        PixelBufferViews::mat(backdrop_).copyTo(target);
        cv::Mat window = target(windowRect);
        cv::resize(PixelBufferViews::mat(*frame.screen), window, window.size(), 0, 0, cv::INTER_LINEAR);
        if (frame.camera) {
            cv::Mat card = target(cardRect);
            cv::resize(PixelBufferViews::mat(*frame.camera), card, card.size(), 0, 0, cv::INTER_LINEAR);
        }
        return std::nullopt;
    }

private:
    PixelBuffer backdrop_;
};

struct Stage {
    double seconds = 0;
    double cpuSeconds = 0;
};

template <typename Body>
Stage timed(const Body& body)
{
    const double cpuBefore = selfCpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    body();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), selfCpuSeconds() - cpuBefore};
}

Stage operator+(Stage a, const Stage& b) { return {a.seconds + b.seconds, a.cpuSeconds + b.cpuSeconds}; }

// Decodes a movie's first video track through our reader as the export does for a renderer that draws planes
// (the decoder's own planes, no conversion) and keeps its first `keep` pictures.
int64_t decodeToPlanes(const QString& path, size_t keep, std::vector<std::shared_ptr<const PlanarPicture>>& kept)
{
    auto opened = MovieReader::open(path);
    if (!std::holds_alternative<std::unique_ptr<MovieReader>>(opened))
        return 0;
    std::unique_ptr<MovieReader> reader = std::move(std::get<0>(opened));
    const MovieTrack* track = reader->asset().firstTrack(MovieTrack::MediaType::video);
    VideoOutputSettings decoding;
    decoding.encoderPlanesAsDecoded = true;
    MovieReaderOutput* output = track ? reader->addVideoOutput(track->index, decoding) : nullptr;
    if (!output || !reader->startReading())
        return 0;
    int64_t count = 0;
    while (std::optional<MediaSample> sample = output->copyNextSample()) {
        if (kept.size() < keep && sample->planar)
            kept.push_back(sample->planar);
        ++count;
    }
    return count;
}

// Decodes a movie's first video track through our reader (BGRA out) and keeps copies of its first `keep` pictures.
int64_t decodeToBgra(const QString& path, size_t keep, std::vector<std::shared_ptr<PixelBuffer>>& kept)
{
    auto opened = MovieReader::open(path);
    if (!std::holds_alternative<std::unique_ptr<MovieReader>>(opened))
        return 0;
    std::unique_ptr<MovieReader> reader = std::move(std::get<0>(opened));
    const MovieTrack* track = reader->asset().firstTrack(MovieTrack::MediaType::video);
    MovieReaderOutput* output = track ? reader->addVideoOutput(track->index) : nullptr;
    if (!output || !reader->startReading())
        return 0;
    int64_t count = 0;
    while (std::optional<MediaSample> sample = output->copyNextSample()) {
        if (kept.size() < keep && sample->pixels)
            kept.push_back(std::make_shared<PixelBuffer>(*sample->pixels));
        ++count;
    }
    return count;
}

// The drawing threads' conversion, one picture at a time on one thread: BGRA → 4:2:0 BT.709 limited range.
void convertToYuv(const std::vector<std::shared_ptr<PixelBuffer>>& frames, int64_t count)
{
    PlanarPictureConverter converter(width, height);
    for (int64_t k = 0; k < count; ++k)
        converter.convert(*frames[static_cast<size_t>(k) % frames.size()]);
}

// The encoder's ceiling: rendered frames, already converted as the export hands them over (cycled), through
// the writer at the finishing settings, video only.
bool encodeRendered(const std::vector<std::shared_ptr<PixelBuffer>>& frames, int64_t count, const QString& path)
{
    std::vector<std::shared_ptr<const PlanarPicture>> planar;
    PlanarPictureConverter converter(width, height);
    for (const std::shared_ptr<PixelBuffer>& frame : frames) {
        auto converted = converter.convert(*frame);
        if (!std::holds_alternative<std::shared_ptr<const PlanarPicture>>(converted))
            return false;
        planar.push_back(std::get<0>(converted));
    }
    MovieWriter writer(path, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    MovieWriterInput* input = writer.addVideoInput(Mixdown::finishingVideoSettings(QSize(width, height), 60));
    if (!input || !writer.startWriting())
        return false;
    input->setExpectsMediaDataInRealTime(false);
    writer.startSession(MediaTime::zero());
    for (int64_t k = 0; k < count; ++k) {
        if (!input->append(MediaSample::video(planar[static_cast<size_t>(k) % planar.size()], MediaTime(k, 60), MediaTime(1, 60))))
            return false;
    }
    input->markAsFinished();
    return writer.finishWriting() && writer.status() == MovieWriter::Status::completed;
}

bool makeInputs(const QString& folder, int seconds)
{
    const std::string duration = std::to_string(seconds);
    const std::string raw = (folder + QStringLiteral("/raw.mov")).toStdString();
    const std::string camera = (folder + QStringLiteral("/face.mov")).toStdString();
    const ChildRun screen = runChild({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=60:d=" + duration, "-f", "lavfi",
        "-i", "sine=f=440:d=" + duration, "-f", "lavfi", "-i", "sine=f=660:d=" + duration, "-map", "0", "-map", "1", "-map", "2",
        "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error:bframes=0", "-tag:v", "hvc1", "-pix_fmt", "yuv420p", "-c:a",
        "aac", raw});
    // The camera's first frame lands at 0.5 s behind an empty edit, as a late camera's capture file does. Its
    // pictures are 4:2:0 as the studio records them (testsrc alone would make x264 keep 4:4:4).
    const ChildRun face = runChild({"ffmpeg", "-v", "error", "-y", "-itsoffset", "0.5", "-f", "lavfi", "-i",
        "testsrc=s=1280x720:r=30:d=" + std::to_string(seconds - 0.5), "-c:v", "libx264", "-preset", "ultrafast", "-bf", "0", "-pix_fmt",
        "yuv420p", camera});
    return screen.ok && face.ok;
}

std::unique_ptr<OverlayFrameRenderer> makeRenderer(const OverlayFrameRenderer::Setup& setup, bool studio)
{
    if (studio)
        return std::make_unique<FestrinCompositorRenderer>(setup);
    return std::make_unique<BackdropRenderer>();
}

double exportOurs(const QString& folder, int seconds, int rangeSeconds, bool studio, bool& ok)
{
    Mixdown::Request request;
    request.rawURL = folder + QStringLiteral("/raw.mov");
    request.cameraURL = folder + QStringLiteral("/face.mov");
    request.layout = ScreenLayout::studio;
    request.outputSize = QSizeF(width, height);
    request.frameRate = 60;
    if (rangeSeconds < seconds)
        request.exportRange = Mixdown::Request::TimeRange {MediaTime::zero(), MediaTime(rangeSeconds, 1)};
    ExportGate gate;
    const auto begin = std::chrono::steady_clock::now();
    const auto failure = Mixdown::composeWithOverlays(request, folder + QStringLiteral("/final.mov"), {},
        [studio](const OverlayFrameRenderer::Setup& setup) { return makeRenderer(setup, studio); }, Mixdown::Options {&gate, 0.25});
    ok = !failure;
    if (failure)
        std::fprintf(stderr, "export failed: %s\n", qUtf8Printable(failure->description()));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

ChildRun exportWithFfmpeg(const QString& folder)
{
    const VideoSettings settings = Mixdown::finishingVideoSettings(QSize(width, height), 60);
    const std::string graph = "color=c=0x46463c:s=1920x1080:r=60[bg];[0:v]scale=1536:864:flags=bilinear[s];"
                              "[bg][s]overlay=192:108:shortest=1[b];[1:v]scale=384:216:flags=bilinear[c];"
                              "[b][c]overlay=1488:816:eof_action=pass[v];[0:a:0][0:a:1]amix=inputs=2[a]";
    return runChild({"ffmpeg", "-v", "error", "-y", "-i", (folder + QStringLiteral("/raw.mov")).toStdString(), "-i",
        (folder + QStringLiteral("/face.mov")).toStdString(), "-filter_complex", graph, "-map", "[v]", "-map", "[a]", "-c:v", "libx264",
        "-preset", settings.preset, "-profile:v", "high", "-x264-params", "8x8dct=1", "-b:v", std::to_string(settings.averageBitRate),
        "-g", std::to_string(settings.maxKeyFrameInterval), "-bf", "0", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "256k", "-ar",
        "48000", "-ac", "2", (folder + QStringLiteral("/ffmpeg.mov")).toStdString()});
}

// Each stage alone over the whole take, then the export against the encoder's ceiling.
bool printStages(const QString& folder, int seconds, bool studio, const Stage& ours, double ffmpegSeconds)
{
    const std::string raw = (folder + QStringLiteral("/raw.mov")).toStdString();
    const std::string face = (folder + QStringLiteral("/face.mov")).toStdString();
    Stage decode;
    for (const std::string& input : {raw, face}) {
        const ChildRun run = runChild({"ffmpeg", "-v", "error", "-i", input, "-map", "0:v", "-f", "null", "-"});
        decode = decode + Stage {run.seconds, run.cpuSeconds};
    }
    std::vector<std::shared_ptr<PixelBuffer>> screens;
    std::vector<std::shared_ptr<PixelBuffer>> cameras;
    int64_t frames = 0;
    const Stage decodeConvert = timed([&] { frames = decodeToBgra(folder + QStringLiteral("/raw.mov"), 12, screens); })
        + timed([&] { decodeToBgra(folder + QStringLiteral("/face.mov"), 6, cameras); });
    if (screens.empty() || cameras.empty())
        return false;
    std::vector<std::shared_ptr<const PlanarPicture>> screenPlanes;
    std::vector<std::shared_ptr<const PlanarPicture>> cameraPlanes;
    const Stage decodePlanes = timed([&] { decodeToPlanes(folder + QStringLiteral("/raw.mov"), 12, screenPlanes); })
        + timed([&] { decodeToPlanes(folder + QStringLiteral("/face.mov"), 6, cameraPlanes); });

    // Rendered frames to feed the encoder: a couple dozen distinct ones, cycled.
    Mixdown::Request request;
    request.rawURL = folder + QStringLiteral("/raw.mov");
    request.layout = ScreenLayout::studio;
    request.outputSize = QSizeF(width, height);
    request.frameRate = 60;
    const OverlayFrameRenderer::Setup setup {request, QSize(width, height), QSize(width, height), true, false, {}};
    std::unique_ptr<OverlayFrameRenderer> renderer = makeRenderer(setup, studio);
    std::vector<std::shared_ptr<PixelBuffer>> rendered;
    for (int i = 0; i < 24; ++i)
        rendered.push_back(std::make_shared<PixelBuffer>(width, height));
    const auto frameAt = [&](int64_t k) {
        OverlayFrameRenderer::Frame frame;
        frame.index = k;
        frame.time = MediaTime(k, 60);
        frame.screen = screens[static_cast<size_t>(k) % screens.size()];
        frame.camera = cameras[static_cast<size_t>(k / 2) % cameras.size()];
        return frame;
    };
    const Stage render = timed([&] {
        for (int64_t k = 0; k < frames; ++k)
            renderer->render(frameAt(k), *rendered[static_cast<size_t>(k) % rendered.size()]);
    });
    const Stage convert = timed([&] { convertToYuv(rendered, frames); });
    std::optional<Stage> planar;
    if (renderer->drawsPlanar()) {
        std::vector<PlanarImage> planes;
        for (int i = 0; i < 4; ++i)
            planes.emplace_back(width, height);
        // The screen as the export hands it over: the decoder's planes; drawn on one thread, as each of the
        // export's renderers draws.
        SerialRows oneThread;
        planar = timed([&] {
            for (int64_t k = 0; k < frames; ++k) {
                OverlayFrameRenderer::Frame frame = frameAt(k);
                if (!screenPlanes.empty()) {
                    frame.screen.reset();
                    frame.screenPlanes = screenPlanes[static_cast<size_t>(k) % screenPlanes.size()];
                }
                if (!cameraPlanes.empty()) {
                    frame.camera.reset();
                    frame.cameraPlanes = cameraPlanes[static_cast<size_t>(k / 2) % cameraPlanes.size()];
                }
                renderer->renderPlanar(frame, planes[static_cast<size_t>(k) % planes.size()].canvas());
            }
        });
    }
    bool encoded = false;
    const Stage ceiling = timed([&] { encoded = encodeRendered(rendered, frames, folder + QStringLiteral("/ceiling.mov")); });
    if (!encoded)
        return false;

    const auto row = [frames](const char* name, const Stage& stage) {
        std::printf("  %-44s %7.2f s wall %7.2f s CPU %7.2f ms CPU/frame\n", name, stage.seconds, stage.cpuSeconds,
            1000 * stage.cpuSeconds / static_cast<double>(std::max<int64_t>(frames, 1)));
    };
    std::printf("stages alone over %lld frames:\n", static_cast<long long>(frames));
    row("decode screen + camera (ffmpeg, YUV)", decode);
    row("decode + convert to BGRA (ours)", decodeConvert);
    row("  of which conversion", Stage {decodeConvert.seconds - decode.seconds, decodeConvert.cpuSeconds - decode.cpuSeconds});
    row("decode screen + camera to their planes (ours)", decodePlanes);
    row("render", render);
    row("convert BGRA -> YUV (one thread)", convert);
    if (planar)
        row("render decoded planes into YUV planes (export path, 1 thread)", *planar);
    row("encode + mux (ceiling)", ceiling);
    std::printf("ours / encoder ceiling: %.2f wall (goal: at most 1.4); %.2fx real time (ceiling %.2fx); the ffmpeg graph / ceiling: %.2f\n",
        ours.seconds / ceiling.seconds, seconds / ours.seconds, seconds / ceiling.seconds, ffmpegSeconds / ceiling.seconds);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // As the studio does, so the memory figures are the studio's.
    ProcessMemory::mapLargeBlocks();
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(12, std::atoi(argv[1])) : 60;
    const bool studio = argc > 2 && std::strcmp(argv[2], "studio") == 0;
    QTemporaryDir folder;
    cpu_set_t cores;
    CPU_ZERO(&cores);
    sched_getaffinity(0, sizeof(cores), &cores);
    std::printf("mixdown_export: %d s 1080p60 screen + 720p camera at 1920x1080, %s renderer, x264 %s, %d cores\n", seconds,
        studio ? "studio look" : "stand-in", Mixdown::finishingVideoSettings(QSize(width, height), 60).preset.c_str(), CPU_COUNT(&cores));
    if (!makeInputs(folder.path(), seconds)) {
        std::fprintf(stderr, "could not generate the inputs with ffmpeg\n");
        return 1;
    }
    // ffmpeg first: a spawned child starts with its parent's peak memory on its account.
    const ChildRun ffmpeg = exportWithFfmpeg(folder.path());
    if (!ffmpeg.ok) {
        std::fprintf(stderr, "the ffmpeg export failed\n");
        return 1;
    }
    const long before = selfPeakKilobytes();
    bool ok = false;
    const int shortRange = 10;
    exportOurs(folder.path(), seconds, shortRange, studio, ok);
    const long shortPeak = selfPeakKilobytes();
    const double cpuBefore = selfCpuSeconds();
    const double ours = exportOurs(folder.path(), seconds, seconds, studio, ok);
    const double oursCpu = selfCpuSeconds() - cpuBefore;
    const long fullPeak = selfPeakKilobytes();
    // What stays once the studio has given back what a render freed, over further exports.
    std::vector<long> afterwards;
    for (int again = 0; again < 3; ++again) {
        if (again > 0)
            exportOurs(folder.path(), seconds, shortRange, studio, ok);
        ProcessMemory::returnFreedMemory();
        afterwards.push_back(ProcessMemory::residentKilobytes() / 1024);
    }
    if (!ok)
        return 1;
    std::printf("ours:   %7.2f s wall, %7.2f s CPU, %5.2fx real time\n", ours, oursCpu, seconds / ours);
    std::printf("ffmpeg: %7.2f s wall, %7.2f s CPU, %5.2fx real time\n", ffmpeg.seconds, ffmpeg.cpuSeconds, seconds / ffmpeg.seconds);
    if (CPU_COUNT(&cores) <= 2)
        std::printf("ratio ours / ffmpeg: %.2f wall, %.2f CPU (goal on 2 cores: wall at most 1.1, and at least 1.2x real time)\n",
            ours / ffmpeg.seconds, oursCpu / ffmpeg.cpuSeconds);
    else
        std::printf("ratio ours / ffmpeg: %.2f wall, %.2f CPU (goal: wall at most 0.8, CPU at most 1.1)\n", ours / ffmpeg.seconds,
            oursCpu / ffmpeg.cpuSeconds);
    std::printf("peak memory: %ld MB before, %ld MB after a %d s export, %ld MB after the %d s export (goal: under 700; ffmpeg: %ld MB)\n",
        before / 1024, shortPeak / 1024, shortRange, fullPeak / 1024, seconds, ffmpeg.peakKilobytes / 1024);
    std::printf("resident after the export and two more: %ld, %ld, %ld MB (goal: back near the %ld MB before, not growing)\n",
        afterwards[0], afterwards[1], afterwards[2], before / 1024);
    return printStages(folder.path(), seconds, studio, Stage {ours, oursCpu}, ffmpeg.seconds) ? 0 : 1;
}
