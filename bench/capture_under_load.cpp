// A 1920×1080 screen take at 60 fps with a steady 440 Hz tone on a private sound source, while every core runs
// a busy loop: the studio's recorder, then `ffmpeg -f x11grab -f pulse` (x265 ultrafast, no B-frames, AAC),
// record the same display and the same source under the same load, one after the other. Each records a whole
// take (default 20 s) and a take killed with SIGKILL after 10 s. Prints, side by side: frames kept (goal:
// ours >= ffmpeg's), sound breaks (dropouts and phase jumps; goal: none), picture and sound a kill leaves in
// the file (goal: our sound within 1 s of our picture) and our resident memory growth (goal: flat, <= 5 MB
// a minute). Our recorder runs in a child process of this program so the kill is a real one.
// Needs Xvfb, ffmpeg, paplay, pactl and a running PulseAudio server (scripts/test.sh starts one). Run it pinned
// (taskset -c 0,1 build/bench/capture_under_load) to see a two-core machine.
#include "capture/ScreenRecorder.h"
#include "takedata/RecordingClock.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/system/ProcessMemory.h"
#include "platform/x11/X11ScreenCapture.h"
#include "support/ToneFile.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <sched.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int frameRate = 60;

// One busy loop per core, each ending by itself after `seconds` should the bench die first.
std::vector<pid_t> busyEveryCore(double seconds)
{
    std::vector<pid_t> children;
    // The cores this process may use: under taskset, only those.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    const int cores = sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    for (int i = 0; i < cores; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
            volatile uint64_t spin = 0;
            while (std::chrono::steady_clock::now() < end)
                for (int k = 0; k < 100000; ++k)
                    spin = spin + k;
            _exit(0);
        }
        children.push_back(pid);
    }
    return children;
}

void stopAll(const std::vector<pid_t>& children)
{
    for (pid_t pid : children)
        kill(pid, SIGTERM);
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The first audio track decoded to mono floats by ffmpeg.
ToneFile::Breaks soundBreaks(const QString& movie)
{
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), movie, QStringLiteral("-map"),
                                               QStringLiteral("0:a:0"), QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"),
                                               QStringLiteral("48000"), QStringLiteral("-f"), QStringLiteral("f32le"), QStringLiteral("-")});
    decode.waitForFinished(120000);
    const QByteArray bytes = decode.readAllStandardOutput();
    std::vector<float> mono(static_cast<size_t>(bytes.size()) / sizeof(float));
    std::memcpy(mono.data(), bytes.constData(), mono.size() * sizeof(float));
    return ToneFile::breaksIn(mono, 48000, 0, 440);
}

// Seconds of one stream ("v:0", "a:0") that decode from the file; 0 when it does not open (a killed ffmpeg
// leaves a movie without its index).
double decodedSeconds(const QString& movie, const QString& stream)
{
    const QString progress = run(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), movie, QStringLiteral("-map"),
                                                          QStringLiteral("0:") + stream, QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-"),
                                                          QStringLiteral("-progress"), QStringLiteral("pipe:1")});
    double seconds = 0;
    for (auto it = QRegularExpression(QStringLiteral("out_time_us=(\\d+)")).globalMatch(progress); it.hasNext();)
        seconds = it.next().captured(1).toDouble() / 1e6;
    return seconds;
}

struct Take {
    long long frames = 0; // written (ours) or encoded (ffmpeg)
    long long dropped = 0;
    long long missed = 0;
    double residentGrowthMBPerMinute = 0;
};

// Lets `process` run for `seconds`, then kills it with SIGKILL and waits for it to end.
void killAfterSeconds(QProcess& process, double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    // Never 0: that would be this whole process group.
    if (const auto pid = static_cast<pid_t>(process.processId()); pid > 0)
        kill(pid, SIGKILL);
    process.waitForFinished();
}

// The child: our recorder on `display` with `source` as its microphone into `path` for `seconds`, then a stop.
// Prints its counts and its resident memory growth over the last two thirds of the take.
int recordAsChild(const QString& display, const QString& source, const QString& path, double seconds)
{
    RecordingClock clock;
    ScreenRecorder::Sources sources;
    sources.screen = std::make_unique<X11ScreenCapture>(display.toUtf8());
    sources.microphone = std::make_unique<PulseAudioCapture>();
    ScreenRecorder recorder(clock, std::move(sources));
    ScreenRecorder::Options options;
    options.display.frame = QRect(0, 0, width, height);
    options.captureSystemAudio = false;
    options.microphoneDeviceID = source;
    options.frameRate = frameRate;
    if (const auto error = recorder.prepare(options)) {
        std::fprintf(stderr, "ours: %s\n", qPrintable(error->errorDescription()));
        return 1;
    }
    if (const auto error = recorder.start(options, path)) {
        std::fprintf(stderr, "ours: %s\n", qPrintable(error->errorDescription()));
        return 1;
    }
    std::printf("recording\n");
    std::fflush(stdout);
    const auto started = std::chrono::steady_clock::now();
    // From a third of the take on: the encoder's pipeline and the pools have filled by then.
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds / 3));
    const long residentFrom = ProcessMemory::residentKilobytes();
    const auto from = std::chrono::steady_clock::now();
    std::this_thread::sleep_until(started + std::chrono::duration<double>(seconds));
    const long residentTo = ProcessMemory::residentKilobytes();
    const double minutes = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count() / 60;
    auto stopped = recorder.stop();
    stopped.waitForFinished();
    const auto counts = recorder.statistics();
    std::printf("frames %lld %lld %lld growth %.2f\n", static_cast<long long>(counts.framesWritten), static_cast<long long>(counts.framesDropped),
        static_cast<long long>(counts.framesMissed), minutes > 0 ? static_cast<double>(residentTo - residentFrom) / 1024 / minutes : 0.0);
    return 0;
}

// Our take in a child process; killed with SIGKILL `killAfter` seconds after it started recording when given.
Take ours(const QString& display, const QString& source, const QString& path, double seconds, std::optional<double> killAfter)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--record"), display, source, path, QString::number(seconds)});
    child.waitForReadyRead(60000);
    if (killAfter) {
        killAfterSeconds(child, *killAfter);
        return {};
    }
    Take take;
    child.waitForFinished(static_cast<int>(seconds * 1000) + 120000);
    const auto counts = QRegularExpression(QStringLiteral("frames (\\d+) (\\d+) (\\d+) growth (-?[\\d.]+)")).match(QString::fromUtf8(child.readAll()));
    take.frames = counts.captured(1).toLongLong();
    take.dropped = counts.captured(2).toLongLong();
    take.missed = counts.captured(3).toLongLong();
    take.residentGrowthMBPerMinute = counts.captured(4).toDouble();
    return take;
}

// ffmpeg's take of the same display and source; killed with SIGKILL after `killAfter` seconds when given.
Take theirs(const QString& display, const QString& source, const QString& path, double seconds, std::optional<double> killAfter)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
        {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("x11grab"),
            QStringLiteral("-framerate"), QString::number(frameRate), QStringLiteral("-video_size"), QStringLiteral("%1x%2").arg(width).arg(height),
            QStringLiteral("-i"), display, QStringLiteral("-f"), QStringLiteral("pulse"), QStringLiteral("-i"), source, QStringLiteral("-t"),
            QString::number(seconds), QStringLiteral("-c:v"), QStringLiteral("libx265"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
            QStringLiteral("-b:v"), QString::number(width * height * 6), QStringLiteral("-x265-params"),
            QStringLiteral("bframes=0:keyint=%1:log-level=error").arg(frameRate * 2), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
            QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("192k"), path});
    if (killAfter) {
        killAfterSeconds(ffmpeg, *killAfter);
        return {};
    }
    Take take;
    ffmpeg.waitForFinished(static_cast<int>(seconds * 1000) + 60000);
    const QString log = QString::fromUtf8(ffmpeg.readAll());
    for (auto it = QRegularExpression(QStringLiteral("frame=\\s*(\\d+)")).globalMatch(log); it.hasNext();)
        take.frames = it.next().captured(1).toLongLong();
    return take;
}

} // namespace

int main(int argc, char** argv)
{
    ProcessMemory::mapLargeBlocks();
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 6 && arguments[1] == QStringLiteral("--record"))
        return recordAsChild(arguments[2], arguments[3], arguments[4], arguments[5].toDouble());
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    constexpr double killAfter = 10.0;
    QTemporaryDir folder;

    QProcess xvfb;
    // -displayfd 1: the server prints its display number once it is ready.
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("1920x1080x24"), QStringLiteral("+extension"), QStringLiteral("MIT-SHM"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    xvfb.waitForReadyRead(10000);
    const QString display = QLatin1Char(':') + QString::fromUtf8(xvfb.readLine()).trimmed();
    // The number comes a moment before the server takes clients: wait until one gets through.
    for (int tries = 0; tries < 50; ++tries) {
        QProcess probe;
        probe.start(QStringLiteral("xdpyinfo"), {QStringLiteral("-display"), display});
        if (probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const QString sink = QStringLiteral("bench_tone_%1").arg(getpid());
    const QString module = run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=") + sink});
    if (module.isEmpty() || xvfb.state() != QProcess::Running) {
        std::fprintf(stderr, "needs Xvfb and a PulseAudio server\n");
        return 1;
    }
    const QString source = sink + QStringLiteral(".monitor");
    const QString tone = folder.filePath(QStringLiteral("tone.wav"));
    ToneFile::write(tone, 2 * seconds + 2 * killAfter + 40, 440);
    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink, tone});
    std::this_thread::sleep_for(std::chrono::seconds(1));

    // One after the other, each with every core busy: side by side, the side with more threads would win.
    auto underLoad = [](double busySeconds, const std::function<Take()>& record) {
        const std::vector<pid_t> busy = busyEveryCore(busySeconds);
        const Take take = record();
        stopAll(busy);
        return take;
    };
    const QString ourMovie = folder.filePath(QStringLiteral("ours.mov"));
    const QString ffmpegMovie = folder.filePath(QStringLiteral("ffmpeg.mov"));
    const QString ourKilled = folder.filePath(QStringLiteral("ours-killed.mov"));
    const QString ffmpegKilled = folder.filePath(QStringLiteral("ffmpeg-killed.mov"));
    const Take ourTake = underLoad(seconds + 30, [&] { return ours(display, source, ourMovie, seconds, std::nullopt); });
    const Take ffmpegTake = underLoad(seconds + 30, [&] { return theirs(display, source, ffmpegMovie, seconds, std::nullopt); });
    underLoad(killAfter + 30, [&] { return ours(display, source, ourKilled, seconds, killAfter); });
    underLoad(killAfter + 30, [&] { return theirs(display, source, ffmpegKilled, seconds, killAfter); });
    player.kill();
    player.waitForFinished();
    run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
    xvfb.terminate();
    xvfb.waitForFinished();

    const ToneFile::Breaks ourSound = soundBreaks(ourMovie);
    const ToneFile::Breaks ffmpegSound = soundBreaks(ffmpegMovie);
    const auto expected = static_cast<long long>(seconds * frameRate);
    std::printf("capture under load: %dx%d @%d fps, %.0f s, every core busy\n", width, height, frameRate, seconds);
    std::printf("  studio recorder : %6lld of %lld frames, %d dropouts, %d phase jumps (%lld dropped behind the writer, %lld grabs missed)\n", ourTake.frames,
        expected, ourSound.dropouts, ourSound.phaseJumps, ourTake.dropped, ourTake.missed);
    std::printf("  ffmpeg          : %6lld of %lld frames, %d dropouts, %d phase jumps\n", ffmpegTake.frames, expected, ffmpegSound.dropouts,
        ffmpegSound.phaseJumps);
    std::printf("  frame ratio (studio / ffmpeg): %.2f  (goal >= 1.00, zero sound breaks)\n",
        ffmpegTake.frames > 0 ? static_cast<double>(ourTake.frames) / static_cast<double>(ffmpegTake.frames) : 0.0);
    const double ourPicture = decodedSeconds(ourKilled, QStringLiteral("v:0"));
    const double ourKept = decodedSeconds(ourKilled, QStringLiteral("a:0"));
    std::printf("  killed after %.0f s: studio keeps %.2f s of picture and %.2f s of sound (sound short by %.2f s; goal <= 1.00); "
                "ffmpeg keeps %.2f s of picture and %.2f s of sound\n",
        killAfter, ourPicture, ourKept, ourPicture - ourKept, decodedSeconds(ffmpegKilled, QStringLiteral("v:0")),
        decodedSeconds(ffmpegKilled, QStringLiteral("a:0")));
    std::printf("  studio resident memory growth: %.2f MB a minute (goal: flat, <= 5)\n", ourTake.residentGrowthMBPerMinute);
    return 0;
}
