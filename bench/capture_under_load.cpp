// 20 s of a 1920×1080 screen take at 60 fps with a steady 440 Hz tone on a private sound source, while every
// core runs a busy loop: the studio's recorder, then `ffmpeg -f x11grab -f pulse` (x265 ultrafast, no
// B-frames, AAC), record the same display and the same source under the same load. Prints frames kept and sound breaks
// (dropouts and phase jumps) for both, and the frame ratio (goal: ratio ≥ 1.00, zero sound breaks).
// Needs Xvfb, ffmpeg, paplay, pactl and a running PulseAudio server (scripts/test.sh starts one). Run it pinned
// (taskset -c 0,1 build/bench/capture_under_load) to see a two-core machine.
#include "capture/ScreenRecorder.h"
#include "takedata/RecordingClock.h"
#include "platform/audio/PulseAudioCapture.h"
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    QTemporaryDir folder;

    QProcess xvfb;
    // -displayfd 1: the server prints its display number once it is ready.
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("1920x1080x24"), QStringLiteral("+extension"), QStringLiteral("MIT-SHM"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    xvfb.waitForReadyRead(10000);
    const QString display = QLatin1Char(':') + QString::fromUtf8(xvfb.readLine()).trimmed();
    const QString sink = QStringLiteral("bench_tone_%1").arg(getpid());
    const QString module = run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=") + sink});
    if (module.isEmpty() || xvfb.state() != QProcess::Running) {
        std::fprintf(stderr, "needs Xvfb and a PulseAudio server\n");
        return 1;
    }
    const QString tone = folder.filePath(QStringLiteral("tone.wav"));
    ToneFile::write(tone, 2 * seconds + 12, 440);
    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink, tone});
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // One after the other, each with every core busy: side by side, the side with more threads would win.
    std::vector<pid_t> busy = busyEveryCore(seconds + 6);
    RecordingClock clock;
    ScreenRecorder::Sources sources;
    sources.screen = std::make_unique<X11ScreenCapture>(display.toUtf8());
    sources.microphone = std::make_unique<PulseAudioCapture>();
    ScreenRecorder recorder(clock, std::move(sources));
    ScreenRecorder::Options options;
    options.display.frame = QRect(0, 0, width, height);
    options.captureSystemAudio = false;
    options.microphoneDeviceID = sink + QStringLiteral(".monitor");
    options.frameRate = frameRate;
    const QString ours = folder.filePath(QStringLiteral("ours.mov"));
    if (const auto error = recorder.start(options, ours)) {
        std::fprintf(stderr, "ours: %s\n", qPrintable(error->errorDescription()));
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    auto stopped = recorder.stop();
    stopped.waitForFinished();
    stopAll(busy);

    busy = busyEveryCore(seconds + 6);
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
        {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("x11grab"),
            QStringLiteral("-framerate"), QString::number(frameRate), QStringLiteral("-video_size"), QStringLiteral("%1x%2").arg(width).arg(height),
            QStringLiteral("-i"), display, QStringLiteral("-f"), QStringLiteral("pulse"), QStringLiteral("-i"), sink + QStringLiteral(".monitor"),
            QStringLiteral("-t"), QString::number(seconds), QStringLiteral("-c:v"), QStringLiteral("libx265"), QStringLiteral("-preset"),
            QStringLiteral("ultrafast"), QStringLiteral("-b:v"), QString::number(width * height * 6), QStringLiteral("-x265-params"),
            QStringLiteral("bframes=0:keyint=%1:log-level=error").arg(frameRate * 2), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
            QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("192k"), folder.filePath(QStringLiteral("ffmpeg.mov"))});
    ffmpeg.waitForFinished(static_cast<int>(seconds * 1000) + 60000);
    stopAll(busy);
    player.kill();
    player.waitForFinished();
    run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
    xvfb.terminate();
    xvfb.waitForFinished();

    const auto statistics = recorder.statistics();
    int64_t ffmpegFrames = 0;
    const QString ffmpegLog = QString::fromUtf8(ffmpeg.readAll());
    for (auto it = QRegularExpression(QStringLiteral("frame=\\s*(\\d+)")).globalMatch(ffmpegLog); it.hasNext();)
        ffmpegFrames = it.next().captured(1).toLongLong();
    const ToneFile::Breaks ourSound = soundBreaks(ours);
    const ToneFile::Breaks ffmpegSound = soundBreaks(folder.filePath(QStringLiteral("ffmpeg.mov")));
    const auto expected = static_cast<long long>(seconds * frameRate);
    std::printf("capture under load: %dx%d @%d fps, %.0f s, every core busy\n", width, height, frameRate, seconds);
    std::printf("  studio recorder : %6lld of %lld frames, %d dropouts, %d phase jumps (%lld dropped behind the writer, %lld grabs missed)\n",
        static_cast<long long>(statistics.framesWritten), expected, ourSound.dropouts, ourSound.phaseJumps, static_cast<long long>(statistics.framesDropped),
        static_cast<long long>(statistics.framesMissed));
    std::printf("  ffmpeg          : %6lld of %lld frames, %d dropouts, %d phase jumps\n", static_cast<long long>(ffmpegFrames), expected,
        ffmpegSound.dropouts, ffmpegSound.phaseJumps);
    std::printf("  frame ratio (studio / ffmpeg): %.2f  (goal >= 1.00, zero sound breaks)\n",
        ffmpegFrames > 0 ? static_cast<double>(statistics.framesWritten) / static_cast<double>(ffmpegFrames) : 0.0);
    return 0;
}
