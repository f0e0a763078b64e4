// 20 s of screen capture at 1920×1080 and 60 fps of a moving test pattern on a private Xvfb, once through
// the studio's screen recorder and once through `ffmpeg -f x11grab` with the same encoder settings (x265
// ultrafast, no B-frames, key frame every 2 s, width × height × 6 bit/s). Prints dropped frames and CPU
// seconds per captured second for both, and the CPU ratio (goal: no dropped frames, ratio at most 1.0).
// The pattern is animated by a child process so neither side pays for it.
#include "capture/ScreenRecorder.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/XcbConnection.h"
#include "takedata/RecordingClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int frameRate = 60;

double cpuSeconds(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Eight coloured bars sliding across the screen, moved every 1/60 s until killed.
int animate(const char* display)
{
    auto connection = XcbConnection::open(display);
    if (!connection)
        return 1;
    xcb_connection_t* c = connection->get();
    std::vector<xcb_window_t> bars;
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0xFFFFFF, 0x808080};
    for (int i = 0; i < 8; ++i) {
        const xcb_window_t bar = xcb_generate_id(c);
        const uint32_t values[] = {colours[i], 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, bar, connection->root(), 0, static_cast<int16_t>(i * 135), 240, 135, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            connection->screen()->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c, bar);
        bars.push_back(bar);
    }
    xcb_flush(c);
    for (int frame = 0;; ++frame) {
        for (int i = 0; i < 8; ++i) {
            const uint32_t x = static_cast<uint32_t>((frame * (4 + i * 3)) % (width - 240));
            xcb_configure_window(c, bars[static_cast<size_t>(i)], XCB_CONFIG_WINDOW_X, &x);
        }
        xcb_flush(c);
        std::this_thread::sleep_for(std::chrono::microseconds(1'000'000 / frameRate));
    }
}

pid_t spawn(const std::vector<std::string>& arguments, int stderrFd = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (stderrFd >= 0)
            dup2(stderrFd, 2);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        std::vector<char*> argv;
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

struct Result {
    double cpuPerSecond = 0;
    int64_t dropped = 0;
    int64_t frames = 0;
};

Result runOurs(const QByteArray& display, const QString& folder, double seconds)
{
    RecordingClock clock;
    ScreenRecorder::Sources sources;
    sources.screen = std::make_unique<X11ScreenCapture>(display);
    ScreenRecorder recorder(clock, std::move(sources));
    ScreenRecorder::Options options;
    options.display.frame = QRect(0, 0, width, height);
    options.captureMicrophone = false;
    options.captureSystemAudio = false;
    options.targetHeight = 1080;
    options.frameRate = frameRate;
    options.showsCursor = true;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    if (const auto error = recorder.start(options, folder + QStringLiteral("/ours.mov"))) {
        std::fprintf(stderr, "ours: %s\n", qPrintable(error->errorDescription()));
        return {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    auto future = recorder.stop();
    future.waitForFinished();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const auto statistics = recorder.statistics();
    std::printf("  (studio: %lld dropped behind the writer, %lld grabber ticks missed)\n", static_cast<long long>(statistics.framesDropped),
        static_cast<long long>(statistics.framesMissed));
    return {(cpuSeconds(after) - cpuSeconds(before)) / seconds, statistics.framesDropped + statistics.framesMissed, statistics.framesWritten};
}

Result runFfmpeg(const QByteArray& display, const QString& folder, double seconds)
{
    const QString log = folder + QStringLiteral("/ffmpeg.log");
    const int logFd = open(log.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string bitRate = std::to_string(width * height * 6);
    const pid_t pid = spawn({"ffmpeg", "-hide_banner", "-nostdin", "-y", "-f", "x11grab", "-draw_mouse", "1", "-framerate", std::to_string(frameRate),
                                "-video_size", std::to_string(width) + "x" + std::to_string(height), "-i", display.toStdString(), "-t",
                                std::to_string(seconds), "-c:v", "libx265", "-preset", "ultrafast", "-b:v", bitRate, "-x265-params",
                                "bframes=0:keyint=" + std::to_string(frameRate * 2) + ":log-level=error", "-pix_fmt", "yuv420p",
                                (folder + QStringLiteral("/ffmpeg.mov")).toStdString()},
        logFd);
    close(logFd);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    QFile file(log);
    file.open(QIODevice::ReadOnly);
    const QString text = QString::fromUtf8(file.readAll());
    Result result;
    result.cpuPerSecond = cpuSeconds(usage) / seconds;
    // The last progress line: "frame= 1200 fps= 60 ... dup=0 drop=3".
    const auto frames = QRegularExpression(QStringLiteral("frame=\\s*(\\d+)")).globalMatch(text);
    for (auto it = frames; it.hasNext();)
        result.frames = it.next().captured(1).toLongLong();
    const auto drops = QRegularExpression(QStringLiteral("drop=\\s*(\\d+)")).globalMatch(text);
    for (auto it = drops; it.hasNext();)
        result.dropped = it.next().captured(1).toLongLong();
    // Frames x11grab never delivered count as dropped too.
    result.dropped = std::max<int64_t>(result.dropped, static_cast<int64_t>(std::lround(seconds * frameRate)) - result.frames);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--animate") == 0)
        return animate(argv[2]);
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;

    // A private 1920×1080 server; -displayfd reports its number once it is ready.
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 1;
    const pid_t xvfb = fork();
    if (xvfb == 0) {
        close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "+extension", "MIT-SHM", "+extension", "Composite",
            "-nolisten", "tcp", "-br", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char number[32] = {};
    const ssize_t n = read(pipeFds[0], number, sizeof number - 1);
    close(pipeFds[0]);
    if (n <= 0) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    const QByteArray display = ":" + QByteArray(number).trimmed();
    const pid_t animator = spawn({argv[0], "--animate", display.toStdString()});
    QTemporaryDir folder;

    const Result ours = runOurs(display, folder.path(), seconds);
    const Result ffmpeg = runFfmpeg(display, folder.path(), seconds);

    kill(animator, SIGTERM);
    waitpid(animator, nullptr, 0);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);

    std::printf("screen capture %dx%d @%d fps, %.0f s, x265 ultrafast\n", width, height, frameRate, seconds);
    std::printf("  studio recorder : %6lld frames, %4lld dropped, %.3f CPU s per captured s\n", static_cast<long long>(ours.frames),
        static_cast<long long>(ours.dropped), ours.cpuPerSecond);
    std::printf("  ffmpeg x11grab  : %6lld frames, %4lld dropped, %.3f CPU s per captured s\n", static_cast<long long>(ffmpeg.frames),
        static_cast<long long>(ffmpeg.dropped), ffmpeg.cpuPerSecond);
    std::printf("  CPU ratio (studio / ffmpeg): %.2f  (goal <= 1.00, no dropped frames)\n",
        ffmpeg.cpuPerSecond > 0 ? ours.cpuPerSecond / ffmpeg.cpuPerSecond : 0.0);
    return 0;
}
