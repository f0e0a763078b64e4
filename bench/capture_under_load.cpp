// A 1920×1080 screen take at 60 fps with a steady 440 Hz tone on a private sound source, while two busy loops
// per core run: the studio's recorder, then `ffmpeg -f x11grab -f pulse` (x265 ultrafast, no B-frames, AAC),
// record the same display and the same source under the same load, one after the other. Each records a whole
// take (default 20 s) and a take killed with SIGKILL after 10 s. Prints, side by side: frames captured (goal:
// ours >= ffmpeg's; ffmpeg's file repeats the last grab to fill the gaps its grabber left, so its figure is
// the grabs its encoder took in, less those it dropped), sound breaks (dropouts and phase jumps; goal: none), picture and
// sound a kill leaves in the file (goal: our sound within 1 s of our picture, and at least 8 s of picture)
// and our resident memory growth (goal: flat, <= 5 MB a minute), with where our recorder's CPU went by
// thread. Our recorder runs in a child process of this program so the kill is a real one.
// Needs Xvfb, ffmpeg, paplay, pactl and a running PulseAudio server (scripts/test.sh starts one). Run it in a cpuset
// cgroup of two cores to see a two-core machine: taskset does not hold x265's pool, whose workers set their
// own affinity to the whole NUMA node.
#include "capture/ScreenRecorder.h"
#include "takedata/RecordingClock.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/system/ProcessMemory.h"
#include "platform/x11/X11ScreenCapture.h"
#include "support/ToneFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <sched.h>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int frameRate = 60;

constexpr int busyLoopsPerCore = 2;

// The cores this process may use: in a cpuset or under taskset, only those.
int allowedCores()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    return sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
}

// Busy loops, `busyLoopsPerCore` a core, each ending by itself after `seconds` should the bench die first.
std::vector<pid_t> busyEveryCore(double seconds)
{
    std::vector<pid_t> children;
    for (int i = 0; i < busyLoopsPerCore * allowedCores(); ++i) {
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
    bool started = false;
    long long frames = 0; // in the file
    long long grabs = -1; // ffmpeg: grabs its encoder took in, less those it dropped; -1 ours
    long long dropped = 0;
    long long missed = 0;
    double residentGrowthMBPerMinute = 0;
    QString threads; // ours: CPU seconds by thread
    long long captured() const { return grabs >= 0 ? std::min(grabs, frames) : frames; }
};

// CPU seconds of this process's threads since they started, summed by thread name.
QString cpuByThread()
{
    std::map<QString, double> seconds;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open < 0 || close < 0 || fields.size() < 13)
            continue;
        // Threads no one named carry the program's name: x265's frame threads and swscale's slices.
        QString name = QString::fromUtf8(line.mid(open + 1, close - open - 1));
        if (name.startsWith(QStringLiteral("capture_under")))
            name = QStringLiteral("unnamed");
        seconds[name] += (fields[11].toDouble() + fields[12].toDouble()) / tick;
    }
    QStringList parts;
    for (const auto& [name, value] : seconds) {
        if (value >= 0.05)
            parts << QStringLiteral("%1 %2").arg(name).arg(value, 0, 'f', 1);
    }
    return parts.join(QStringLiteral(", "));
}

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
    // A starved X server may be slow to take a new client: try again for a while rather than report a take
    // that never ran.
    std::optional<ScreenRecorder::RecorderError> error;
    for (int tries = 0; tries < 20; ++tries) {
        error = recorder.start(options, path);
        if (!error || error->kind() != ScreenRecorder::RecorderError::Kind::screenPermissionStale)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    if (error) {
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
    const QString threads = cpuByThread();
    auto stopped = recorder.stop();
    stopped.waitForFinished();
    const auto counts = recorder.statistics();
    std::printf("frames %lld %lld %lld growth %.2f\n", static_cast<long long>(counts.framesWritten), static_cast<long long>(counts.framesDropped),
        static_cast<long long>(counts.framesMissed), minutes > 0 ? static_cast<double>(residentTo - residentFrom) / 1024 / minutes : 0.0);
    std::printf("threads %s\n", qPrintable(threads));
    return 0;
}

// Our take in a child process; killed with SIGKILL `killAfter` seconds after it started recording when given.
Take ours(const QString& display, const QString& source, const QString& path, double seconds, std::optional<double> killAfter)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--record"), display, source, path, QString::number(seconds)});
    Take take;
    // "recording" once the take runs; a child that could not start ends without it.
    child.waitForReadyRead(60000);
    take.started = child.readLine().startsWith("recording");
    if (!take.started) {
        child.waitForFinished();
        return take;
    }
    if (killAfter) {
        killAfterSeconds(child, *killAfter);
        return take;
    }
    child.waitForFinished(static_cast<int>(seconds * 1000) + 120000);
    const QString output = QString::fromUtf8(child.readAll());
    const auto counts = QRegularExpression(QStringLiteral("frames (\\d+) (\\d+) (\\d+) growth (-?[\\d.]+)")).match(output);
    take.threads = QRegularExpression(QStringLiteral("threads ([^\\n]*)")).match(output).captured(1);
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
        {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("verbose"), QStringLiteral("-y"),
            QStringLiteral("-f"), QStringLiteral("x11grab"),
            QStringLiteral("-framerate"), QString::number(frameRate), QStringLiteral("-video_size"), QStringLiteral("%1x%2").arg(width).arg(height),
            QStringLiteral("-i"), display, QStringLiteral("-f"), QStringLiteral("pulse"), QStringLiteral("-i"), source, QStringLiteral("-t"),
            QString::number(seconds), QStringLiteral("-c:v"), QStringLiteral("libx265"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
            QStringLiteral("-b:v"), QString::number(width * height * 6), QStringLiteral("-x265-params"),
            QStringLiteral("bframes=0:keyint=%1:log-level=error").arg(frameRate * 2), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
            QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("192k"), path});
    Take take;
    take.started = ffmpeg.waitForStarted();
    if (killAfter) {
        killAfterSeconds(ffmpeg, *killAfter);
        return take;
    }
    // A starved ffmpeg takes several times the take's length to encode it.
    ffmpeg.waitForFinished(static_cast<int>(seconds * 1000) * 10 + 60000);
    const QString log = QString::fromUtf8(ffmpeg.readAll());
    // The last progress line: "frame= 954 ... dup=933 drop=0"; the repeats fill the file to a constant rate.
    long long dropped = 0;
    for (auto it = QRegularExpression(QStringLiteral("frame=\\s*(\\d+)")).globalMatch(log); it.hasNext();)
        take.frames = it.next().captured(1).toLongLong();
    for (auto it = QRegularExpression(QStringLiteral("drop=\\s*(\\d+)")).globalMatch(log); it.hasNext();)
        dropped = it.next().captured(1).toLongLong();
    // The summary: "Input stream #0:0 (video): 179 packets read (...); 179 frames decoded;".
    const auto decoded = QRegularExpression(QStringLiteral("Input stream #0:0 \\(video\\): \\d+ packets read \\(\\d+ bytes\\); (\\d+) frames decoded")).match(log);
    take.grabs = decoded.hasMatch() ? decoded.captured(1).toLongLong() - dropped : take.frames;
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
    // -displayfd 1: the server prints its display number once it is ready. -noreset: otherwise each take's
    // end resets the server, and the next take's recorder, connecting during the reset, is refused.
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("1920x1080x24"), QStringLiteral("+extension"), QStringLiteral("MIT-SHM"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
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
    const Take ffmpegTake = underLoad(seconds * 10 + 30, [&] { return theirs(display, source, ffmpegMovie, seconds, std::nullopt); });
    const Take ourKill = underLoad(killAfter + 30, [&] { return ours(display, source, ourKilled, seconds, killAfter); });
    const Take ffmpegKill = underLoad(killAfter + 30, [&] { return theirs(display, source, ffmpegKilled, seconds, killAfter); });
    player.kill();
    player.waitForFinished();
    run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
    xvfb.terminate();
    xvfb.waitForFinished();

    const ToneFile::Breaks ourSound = soundBreaks(ourMovie);
    const ToneFile::Breaks ffmpegSound = soundBreaks(ffmpegMovie);
    const auto expected = static_cast<long long>(seconds * frameRate);
    std::printf("capture under load: %dx%d @%d fps, %.0f s, %d busy loops on %d cores\n", width, height, frameRate, seconds,
        busyLoopsPerCore * allowedCores(), allowedCores());
    std::printf("  studio recorder : %6lld of %lld frames captured, %d dropouts, %d phase jumps (%lld dropped behind the writer, %lld grabs missed)\n",
        ourTake.captured(), expected, ourSound.dropouts, ourSound.phaseJumps, ourTake.dropped, ourTake.missed);
    std::printf("  ffmpeg          : %6lld of %lld frames captured (%lld in its file, the rest repeats of the grab before), %d dropouts, %d phase jumps\n",
        ffmpegTake.captured(), expected, ffmpegTake.frames, ffmpegSound.dropouts, ffmpegSound.phaseJumps);
    std::printf("  captured frame ratio (studio / ffmpeg): %.2f  (goal >= 1.00, zero sound breaks); file frames %lld against %lld\n",
        ffmpegTake.captured() > 0 ? static_cast<double>(ourTake.captured()) / static_cast<double>(ffmpegTake.captured()) : 0.0, ourTake.frames,
        ffmpegTake.frames);
    std::printf("  studio CPU seconds by thread: %s\n", qPrintable(ourTake.threads));
    auto kept = [](const Take& take, const QString& movie) {
        if (!take.started)
            return QStringLiteral("did not start");
        const double picture = decodedSeconds(movie, QStringLiteral("v:0"));
        const double sound = decodedSeconds(movie, QStringLiteral("a:0"));
        return QStringLiteral("%1 s of picture and %2 s of sound (sound short by %3 s)").arg(picture, 0, 'f', 2).arg(sound, 0, 'f', 2).arg(picture - sound, 0, 'f', 2);
    };
    std::printf("  killed after %.0f s: studio keeps %s (goal: picture >= 8, sound short by <= 1.00); ffmpeg keeps %s\n", killAfter,
        qPrintable(kept(ourKill, ourKilled)), qPrintable(kept(ffmpegKill, ffmpegKilled)));
    std::printf("  studio resident memory growth: %.2f MB a minute (goal: flat, <= 5)\n", ourTake.residentGrowthMBPerMinute);
    return 0;
}
