// Screen capture of a changing desktop at 60 fps, at 1920×1080 and at 2560×1440, on a private Xvfb: a terminal
// running `top` that refreshes five times a second fills the screen and a window slides across it. Each size
// is recorded once through the studio's screen recorder and once through `ffmpeg -f x11grab` with the same
// encoder settings (x265 ultrafast, zerolatency, no B-frames, key frame every 2 s, width × height × 6 bit/s),
// one after the other on the same screen. ffmpeg writes each grab once (-fps_mode passthrough): to fill a
// constant rate it would encode repeats of late grabs, fall further behind and grab less. Prints, for both sides, the share of the take's frames that reached
// the file (goal: the studio keeps at least 98 % at 1080p and never less than ffmpeg) and the CPU seconds per
// second of take by thread (the busiest single thread tells a serial bottleneck).
// Usage: screen_capture [seconds, default 20] [1080|1440, default both]. Needs Xvfb and ffmpeg; xterm for the
// terminal (without it only the window moves). To see fewer cores, run it in a cpuset cgroup of those cores:
// taskset does not hold x265's pool, whose workers (ours and ffmpeg's) set their own affinity to the whole
// NUMA node.
#include "capture/ScreenRecorder.h"
#include "platform/system/ThisThread.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/XcbConnection.h"
#include "takedata/RecordingClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int frameRate = 60;

// One window with a checked face, bouncing across the screen every 1/60 s until killed.
int animate(const char* display, int width, int height)
{
    auto connection = XcbConnection::open(display);
    if (!connection)
        return 1;
    xcb_connection_t* c = connection->get();
    const xcb_screen_t* screen = connection->screen();
    const int windowWidth = width / 3;
    const int windowHeight = height / 3;
    // The face is the window's background pixmap, so the server paints it wherever the window goes.
    const xcb_pixmap_t face = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, face, connection->root(), static_cast<uint16_t>(windowWidth), static_cast<uint16_t>(windowHeight));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, face, 0, nullptr);
    const uint32_t colours[] = {0x203080, 0xE0C040, 0x40A060, 0xC03030};
    constexpr int cell = 40;
    for (int y = 0; y < windowHeight; y += cell) {
        for (int x = 0; x < windowWidth; x += cell) {
            const uint32_t colour = colours[static_cast<size_t>((x / cell + y / cell) % 4)];
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t square {static_cast<int16_t>(x), static_cast<int16_t>(y), cell, cell};
            xcb_poly_fill_rectangle(c, face, gc, 1, &square);
        }
    }
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {face, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection->root(), 0, 0, static_cast<uint16_t>(windowWidth), static_cast<uint16_t>(windowHeight),
        0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    xcb_flush(c);
    int x = 0, y = height / 4, dx = 7, dy = 3;
    for (;;) {
        x += dx;
        y += dy;
        if (x < 0 || x > width - windowWidth)
            dx = -dx;
        if (y < 0 || y > height - windowHeight)
            dy = -dy;
        const uint32_t position[] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
        xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
        xcb_flush(c);
        std::this_thread::sleep_for(std::chrono::microseconds(1'000'000 / frameRate));
    }
}

pid_t spawn(const std::vector<std::string>& arguments, const std::optional<std::string>& display = std::nullopt, int stderrFd = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (display)
            setenv("DISPLAY", display->c_str(), 1);
        if (stderrFd >= 0)
            dup2(stderrFd, 2);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        if (stderrFd < 0)
            dup2(null, 2);
        std::vector<char*> argv;
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// CPU seconds of each thread of `pid` so far, by thread id, with the thread's name.
struct ThreadTimes {
    std::map<int, std::pair<QString, double>> byThread;

    static ThreadTimes read(const QString& pid)
    {
        ThreadTimes times;
        const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
        const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
        for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(tasks + QLatin1Char('/') + task + QStringLiteral("/stat"));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
            if (open < 0 || close < 0)
                continue;
            const QList<QByteArray> fields = line.mid(close + 2).split(' ');
            if (fields.size() < 13)
                continue;
            times.byThread[task.toInt()] = {QString::fromUtf8(line.mid(open + 1, close - open - 1)), (fields[11].toDouble() + fields[12].toDouble()) / tick};
        }
        return times;
    }

    // Keeps the newest figure of every thread seen, also of threads that have ended since.
    void merge(const ThreadTimes& newer)
    {
        for (const auto& [tid, entry] : newer.byThread)
            byThread[tid] = entry;
    }
};

// "name ×count cpu" per thread name, busiest first, with the busiest single thread: CPU seconds per second.
QString describe(const ThreadTimes& before, const ThreadTimes& after, double seconds, double* total)
{
    struct Group {
        int count = 0;
        double cpu = 0;
    };
    std::map<QString, Group> groups;
    double busiest = 0;
    *total = 0;
    for (const auto& [tid, entry] : after.byThread) {
        const auto was = before.byThread.find(tid);
        const double cpu = (entry.second - (was != before.byThread.end() ? was->second.second : 0.0)) / seconds;
        if (cpu < 0.005)
            continue;
        Group& group = groups[entry.first];
        ++group.count;
        group.cpu += cpu;
        busiest = std::max(busiest, cpu);
        *total += cpu;
    }
    std::vector<std::pair<QString, Group>> sorted(groups.begin(), groups.end());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second.cpu > b.second.cpu; });
    QStringList parts;
    for (const auto& [name, group] : sorted)
        parts << QStringLiteral("%1 x%2 %3").arg(name).arg(group.count).arg(group.cpu, 0, 'f', 2);
    return parts.join(QStringLiteral(", ")) + QStringLiteral("; busiest thread %1").arg(busiest, 0, 'f', 2);
}

struct Result {
    int64_t kept = 0;
    double wallSeconds = 0; // from the start to the file's end
    int64_t droppedBehindWriter = 0;
    int64_t grabsMissed = 0;
    double cpuPerSecond = 0;
    QString threads;
};

Result runOurs(const QByteArray& display, QSize size, const QString& folder, double seconds)
{
    RecordingClock clock;
    ScreenRecorder::Sources sources;
    sources.screen = std::make_unique<X11ScreenCapture>(display);
    ScreenRecorder recorder(clock, std::move(sources));
    ScreenRecorder::Options options;
    options.display.frame = QRect(QPoint(0, 0), size);
    options.captureMicrophone = false;
    options.captureSystemAudio = false;
    options.frameRate = frameRate;
    options.showsCursor = true;
    // The studio opens the encoders on a take thread during the countdown; its threads take that thread's name.
    std::optional<ScreenRecorder::RecorderError> error;
    std::thread opening([&] {
        ThisThread::setName("take.prepare");
        error = recorder.prepare(options);
    });
    opening.join();
    if (!error)
        error = recorder.start(options, folder + QStringLiteral("/ours.mov"));
    if (error) {
        std::fprintf(stderr, "ours: %s\n", qPrintable(error->errorDescription()));
        return {};
    }
    const QString self = QString::number(getpid());
    const ThreadTimes before = ThreadTimes::read(self);
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    // Before the stop: the encoder's threads end with it.
    const ThreadTimes after = ThreadTimes::read(self);
    auto future = recorder.stop();
    future.waitForFinished();
    const auto statistics = recorder.statistics();
    Result result;
    result.kept = statistics.framesWritten;
    result.droppedBehindWriter = statistics.framesDropped;
    result.grabsMissed = statistics.framesMissed;
    result.threads = describe(before, after, seconds, &result.cpuPerSecond);
    return result;
}

Result runFfmpeg(const QByteArray& display, QSize size, const QString& folder, double seconds)
{
    const QString log = folder + QStringLiteral("/ffmpeg.log");
    const int logFd = open(log.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string bitRate = std::to_string(static_cast<int64_t>(size.width()) * size.height() * 6);
    const pid_t pid = spawn({"ffmpeg", "-hide_banner", "-nostdin", "-v", "verbose", "-y", "-f", "x11grab", "-draw_mouse", "1", "-framerate",
                                std::to_string(frameRate), "-video_size", std::to_string(size.width()) + "x" + std::to_string(size.height()), "-i",
                                display.toStdString(), "-t", std::to_string(seconds), "-c:v", "libx265", "-preset", "ultrafast", "-tune", "zerolatency",
                                "-b:v", bitRate, "-x265-params", "bframes=0:keyint=" + std::to_string(frameRate * 2) + ":log-level=error", "-pix_fmt",
                                "yuv420p", "-fps_mode", "passthrough", (folder + QStringLiteral("/ffmpeg.mov")).toStdString()},
        std::nullopt, logFd);
    close(logFd);
    // Its threads are read while it runs: they are gone once it has ended.
    const QString child = QString::number(pid);
    const auto started = std::chrono::steady_clock::now();
    ThreadTimes seen;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        seen.merge(ThreadTimes::read(child));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    QFile file(log);
    file.open(QIODevice::ReadOnly);
    const QString text = QString::fromUtf8(file.readAll());
    Result result;
    result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.threads = describe({}, seen, seconds, &result.cpuPerSecond);
    // The summary: "Input stream #0:0 (video): 1190 packets read (...); 1190 frames decoded;" less what it
    // dropped ("drop=3" in the last progress line).
    int64_t dropped = 0;
    for (auto it = QRegularExpression(QStringLiteral("drop=\\s*(\\d+)")).globalMatch(text); it.hasNext();)
        dropped = it.next().captured(1).toLongLong();
    const auto decoded = QRegularExpression(QStringLiteral("Input stream #0:0 \\(video\\): \\d+ packets read \\(\\d+ bytes\\); (\\d+) frames decoded")).match(text);
    result.kept = decoded.hasMatch() ? decoded.captured(1).toLongLong() - dropped : 0;
    return result;
}

// A private server of `size`; -displayfd reports its number once it is ready.
std::optional<std::pair<pid_t, QByteArray>> startServer(QSize size)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return std::nullopt;
    const pid_t xvfb = fork();
    if (xvfb == 0) {
        close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        const std::string screen = std::to_string(size.width()) + "x" + std::to_string(size.height()) + "x24";
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "+extension", "MIT-SHM", "+extension", "Composite", "-nolisten",
            "tcp", "-noreset", "-br", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char number[32] = {};
    const ssize_t n = read(pipeFds[0], number, sizeof number - 1);
    close(pipeFds[0]);
    if (n <= 0)
        return std::nullopt;
    return std::pair {xvfb, ":" + QByteArray(number).trimmed()};
}

double share(int64_t kept, double seconds) { return 100.0 * static_cast<double>(kept) / (seconds * frameRate); }

bool runSize(const char* self, QSize size, double seconds)
{
    const auto server = startServer(size);
    if (!server) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return false;
    }
    const auto& [xvfb, display] = *server;
    const std::string displayName = display.toStdString();
    pid_t terminal = -1;
    if (!QStandardPaths::findExecutable(QStringLiteral("xterm")).isEmpty()) {
        // About 7 × 14 pixels a cell at this font size: the terminal fills the screen.
        const std::string geometry = std::to_string(size.width() / 7) + "x" + std::to_string(size.height() / 14) + "+0+0";
        terminal = spawn({"xterm", "-geometry", geometry, "-fa", "Monospace", "-fs", "9", "-e", "top", "-d", "0.2"}, displayName);
    } else {
        std::fprintf(stderr, "no xterm: only the window moves\n");
    }
    const pid_t animator = spawn({self, "--animate", displayName, std::to_string(size.width()), std::to_string(size.height())});
    // The terminal's first screen and the window's first moves before the takes.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    QTemporaryDir folder;
    const Result ours = runOurs(display, size, folder.path(), seconds);
    const Result ffmpeg = runFfmpeg(display, size, folder.path(), seconds);
    stop(animator);
    stop(terminal);
    stop(xvfb);

    const auto expected = static_cast<long long>(seconds * frameRate);
    std::printf("screen capture %dx%d @%d fps, %.0f s, a terminal running top and a moving window, x265 ultrafast zerolatency\n", size.width(),
        size.height(), frameRate, seconds);
    std::printf("  studio recorder : %6lld of %lld frames kept (%5.1f %%), %lld dropped behind the writer, %lld grabs missed; %.2f CPU s per s\n",
        static_cast<long long>(ours.kept), expected, share(ours.kept, seconds), static_cast<long long>(ours.droppedBehindWriter),
        static_cast<long long>(ours.grabsMissed), ours.cpuPerSecond);
    std::printf("      by thread   : %s\n", qPrintable(ours.threads));
    // x265 queues what its encoder has not taken yet without bound: a late file's end tells a backlog.
    std::printf("  ffmpeg x11grab  : %6lld of %lld frames kept (%5.1f %%); %.2f CPU s per s; its file ended %.1f s after the take\n",
        static_cast<long long>(ffmpeg.kept), expected, share(ffmpeg.kept, seconds), ffmpeg.cpuPerSecond, std::max(0.0, ffmpeg.wallSeconds - seconds));
    std::printf("      by thread   : %s\n", qPrintable(ffmpeg.threads));
    std::printf("  kept ratio (studio / ffmpeg): %.2f  (goal >= 1.00; at 1080p the studio keeps >= 98 %%)\n",
        ffmpeg.kept > 0 ? static_cast<double>(ours.kept) / static_cast<double>(ffmpeg.kept) : 0.0);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--animate") == 0)
        return animate(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    bool ok = true;
    if (only.isEmpty() || only == QStringLiteral("1080"))
        ok = runSize(argv[0], QSize(1920, 1080), seconds) && ok;
    if (only.isEmpty() || only == QStringLiteral("1440"))
        ok = runSize(argv[0], QSize(2560, 1440), seconds) && ok;
    return ok ? 0 : 1;
}
