// The short replay's picture path: 300 frames of a 1080x1920 short.mov decoded, converted to BGRA and queued by
// the player's decode run (with its sound decoded alongside, as when playing), against plain MovieReader
// decoding of the same pictures in the same run. Playback needs 30 fps; the goal is 60 fps or more and a ratio
// of at least 0.8 against the plain reader.
//
// Usage: short_player; pin it with taskset -c 0,1 to see a two-core machine.

#include "platform/media/MovieDecodeRun.h"
#include "platform/media/MovieReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr int frames = 300;

double readerRate(const QString& path)
{
    auto opened = MovieReader::open(path);
    if (!std::holds_alternative<std::unique_ptr<MovieReader>>(opened))
        return 0;
    auto& reader = std::get<std::unique_ptr<MovieReader>>(opened);
    MovieReaderOutput* output = reader->addVideoOutput(reader->asset().tracks(MovieTrack::MediaType::video).front()->index);
    reader->startReading();
    QElapsedTimer clock;
    clock.start();
    int read = 0;
    while (read < frames && output->copyNextSample())
        ++read;
    return read / (clock.nsecsElapsed() / 1e9);
}

double playerRate(const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    auto started = MovieDecodeRun::start(path, 0, true);
    if (!std::holds_alternative<std::unique_ptr<MovieDecodeRun>>(started))
        return 0;
    auto& run = std::get<std::unique_ptr<MovieDecodeRun>>(started);
    std::vector<float> sound(4800 * MovieDecodeRun::channels);
    int taken = 0;
    while (taken < frames && run->waitForFrame()) {
        ++taken;
        run->pullSound(sound.data(), 1600); // a frame's worth of sound, as the output would take it
    }
    return taken / (clock.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("short.mov"));
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=1080x1920:r=30:d=11", "-f", "lavfi", "-i",
                                               "sine=f=440:r=48000:d=11", "-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high", "-bf",
                                               "0", "-b:v", "16M", "-g", "60", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "256k", path});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "could not generate short.mov with ffmpeg\n");
        return 1;
    }
    readerRate(path); // warm the file cache and the decoder's first allocations
    const double plain = readerRate(path);
    const double player = playerRate(path);
    std::printf("short_player: %d frames of 1080x1920 H.264 16 Mbit/s\n", frames);
    std::printf("  plain MovieReader decode : %7.1f fps\n", plain);
    std::printf("  player decode run        : %7.1f fps (with its sound)\n", player);
    std::printf("  ratio player / plain     : %7.2f (goal >= 0.8; player goal >= 60 fps)\n", plain > 0 ? player / plain : 0.0);
    return player >= 60 && plain > 0 && player / plain >= 0.8 ? 0 : 2;
}
