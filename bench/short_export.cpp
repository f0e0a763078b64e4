// A short take's export: a 1080p30 camera raw.mov (H.264 with mono AAC) cut to its centred 9:16 crop and
// scaled to 1080x1920 through ShortExport, and in the same run through the ffmpeg command line doing the same
// work (crop, Lanczos scale, libx264 at the same rate, key-frame interval and preset, mono AAC). Prints both
// wall and CPU times, their ratio and our speed against real time.
//
// Usage: short_export [seconds, default 60]; pin it with taskset -c 0,1 to see a two-core machine.

#include "platform/media/ExportGate.h"
#include "shortexport/ShortExport.h"
#include "shorts/ShortFraming.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
};

Timing runFfmpeg(const QStringList& arguments)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList {"-v", "error", "-y"} + arguments);
    const bool finished = ffmpeg.waitForFinished(-1);
    return {finished && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0, clock.elapsed() / 1000.0,
        cpuSeconds(RUSAGE_CHILDREN) - cpuBefore};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
    QTemporaryDir folder;
    const QString raw = folder.filePath(QStringLiteral("raw.mov"));
    const QString duration = QString::number(seconds);
    // A camera-like picture: moving shapes and gradients, a tone for the microphone.
    const Timing made = runFfmpeg({"-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=30:d=" + duration, "-f", "lavfi", "-i",
        "sine=f=440:r=48000:d=" + duration, "-c:v", "libx264", "-preset", "ultrafast", "-bf", "0", "-b:v", "12M", "-c:a", "aac", "-ac", "1",
        raw});
    if (!made.ok) {
        std::fprintf(stderr, "could not generate raw.mov with ffmpeg\n");
        return 1;
    }
    const QRectF crop = ShortFraming::cropRect(QSizeF(1920, 1080), {});
    std::printf("short_export: %d s of 1080p30 camera, crop %gx%g at %g,%g -> 1080x1920 Lanczos, x264 veryfast 16 Mbit/s\n", seconds,
        crop.width(), crop.height(), crop.x(), crop.y());

    const QString filter = QStringLiteral("crop=%1:%2:%3:%4,scale=1080:1920:flags=lanczos")
                               .arg(crop.width())
                               .arg(crop.height())
                               .arg(crop.x())
                               .arg(crop.y());
    const Timing ffmpeg = runFfmpeg({"-i", raw, "-vf", filter, "-r", "30", "-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high",
        "-x264-params", "8x8dct=1", "-b:v", "16000000", "-g", "60", "-bf", "0", "-pix_fmt", "yuv420p", "-color_primaries", "bt709",
        "-color_trc", "bt709", "-colorspace", "bt709", "-c:a", "aac", "-b:a", "256k", "-ar", "48000", "-ac", "1",
        folder.filePath(QStringLiteral("ffmpeg.mov"))});
    if (!ffmpeg.ok) {
        std::fprintf(stderr, "the ffmpeg export failed\n");
        return 1;
    }

    ExportGate gate;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();
    const auto outcome = ShortExport::exportShort({raw, crop, QSizeF(1080, 1920), 30, std::nullopt}, folder.filePath(QStringLiteral("short.mov")),
        {&gate, 0.25});
    const double ours = clock.elapsed() / 1000.0;
    const double oursCpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    if (const auto* failure = std::get_if<ErrorInfo>(&outcome)) {
        std::fprintf(stderr, "export failed: %s\n", qUtf8Printable(failure->description));
        return 1;
    }
    std::printf("ours:   %7.2f s wall, %7.2f s CPU, %5.2fx real time\n", ours, oursCpu, seconds / ours);
    std::printf("ffmpeg: %7.2f s wall, %7.2f s CPU, %5.2fx real time\n", ffmpeg.wall, ffmpeg.cpu, seconds / ffmpeg.wall);
    std::printf("ratio ours / ffmpeg: %.2f wall, %.2f CPU (goal: at most 1.2)\n", ours / ffmpeg.wall, oursCpu / ffmpeg.cpu);
    return 0;
}
