// Encodes 600 synthetic 1920x1080 BGRA frames through MovieWriter and, with the same encoder settings,
// through the ffmpeg command line fed over a pipe; prints frames per second of both and their ratio.

#include "platform/media/MovieWriter.h"
#include "platform/media/PixelBuffer.h"

#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int frameCount = 600;
constexpr int frameRate = 30;
constexpr int distinctFrames = 16;

std::vector<std::shared_ptr<PixelBuffer>> makeFrames()
{
    // A noise texture panned 8 px per frame plus a moving gradient: motion the encoders must search.
    std::mt19937 random(11);
    std::vector<uint8_t> texture(static_cast<size_t>(width + distinctFrames * 8) * height);
    for (auto& v : texture)
        v = static_cast<uint8_t>(random() & 0x3f);
    std::vector<std::shared_ptr<PixelBuffer>> frames;
    for (int f = 0; f < distinctFrames; ++f) {
        auto buffer = std::make_shared<PixelBuffer>(width, height);
        for (int y = 0; y < height; ++y) {
            uint8_t* row = buffer->row(y);
            const uint8_t* noise = texture.data() + static_cast<size_t>(y) * (width + distinctFrames * 8) + f * 8;
            for (int x = 0; x < width; ++x) {
                row[x * 4 + 0] = static_cast<uint8_t>(noise[x] + (x + f * 16) / 10);
                row[x * 4 + 1] = static_cast<uint8_t>(noise[x] + y / 6);
                row[x * 4 + 2] = static_cast<uint8_t>(noise[x] + 120);
                row[x * 4 + 3] = 255;
            }
        }
        frames.push_back(std::move(buffer));
    }
    return frames;
}

struct Case {
    const char* name;
    VideoSettings::Codec codec;
    const char* preset;
};

double encodeWithMovieWriter(const Case& c, const std::vector<std::shared_ptr<PixelBuffer>>& frames, const QString& path)
{
    const auto begin = std::chrono::steady_clock::now();
    MovieWriter writer(path, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    VideoSettings settings;
    settings.codec = c.codec;
    settings.width = width;
    settings.height = height;
    settings.averageBitRate = static_cast<int64_t>(width) * height * 6;
    settings.maxKeyFrameInterval = frameRate * 2;
    settings.expectedFrameRate = frameRate;
    settings.preset = c.preset;
    MovieWriterInput* input = writer.addVideoInput(settings);
    if (!input || !writer.startWriting())
        return 0;
    writer.startSession(MediaTime::zero());
    for (int f = 0; f < frameCount; ++f) {
        if (!input->append(MediaSample::video(frames[static_cast<size_t>(f % distinctFrames)], MediaTime(f, frameRate), MediaTime(1, frameRate))))
            return 0;
    }
    input->markAsFinished();
    if (!writer.finishWriting())
        return 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

double encodeWithCommandLine(const Case& c, const std::vector<std::shared_ptr<PixelBuffer>>& frames, const QString& path)
{
    const long bitRate = static_cast<long>(width) * height * 6;
    std::string codecOptions = c.codec == VideoSettings::Codec::hevc
        ? std::string("-c:v libx265 -tag:v hvc1 -x265-params log-level=error:bframes=0:keyint=") + std::to_string(frameRate * 2)
        : std::string("-c:v libx264 -profile:v high -bf 0 -x264-params 8x8dct=1 -g ") + std::to_string(frameRate * 2);
    const std::string command = "ffmpeg -y -v error -f rawvideo -pix_fmt bgra -s " + std::to_string(width) + "x" + std::to_string(height)
        + " -r " + std::to_string(frameRate) + " -i - -vf scale=out_color_matrix=bt709:flags=bicubic,format=yuv420p " + codecOptions
        + " -preset " + c.preset + " -b:v " + std::to_string(bitRate) + " -movflags +faststart '" + path.toStdString() + "'";
    const auto begin = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe)
        return 0;
    for (int f = 0; f < frameCount; ++f) {
        const PixelBuffer& frame = *frames[static_cast<size_t>(f % distinctFrames)];
        if (std::fwrite(frame.data(), 1, frame.byteCount(), pipe) != frame.byteCount())
            break;
    }
    if (pclose(pipe) != 0)
        return 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

} // namespace

int main()
{
    QTemporaryDir folder;
    const auto frames = makeFrames();
    const Case cases[] = {
        {"HEVC libx265 ultrafast", VideoSettings::Codec::hevc, "ultrafast"},
        {"H.264 High libx264 veryfast", VideoSettings::Codec::h264, "veryfast"},
    };
    std::printf("%d frames %dx%d BGRA, average bit rate %d bit/s, key frame every %d, no B-frames\n", frameCount, width, height,
        width * height * 6, frameRate * 2);
    for (const Case& c : cases) {
        const double ours = encodeWithMovieWriter(c, frames, folder.filePath(QStringLiteral("ours.mov")));
        const double theirs = encodeWithCommandLine(c, frames, folder.filePath(QStringLiteral("cli.mov")));
        if (ours <= 0 || theirs <= 0) {
            std::printf("%-28s failed (ours %.2f s, ffmpeg %.2f s)\n", c.name, ours, theirs);
            continue;
        }
        const double oursFps = frameCount / ours;
        const double theirsFps = frameCount / theirs;
        std::printf("%-28s MovieWriter %7.1f fps   ffmpeg CLI %7.1f fps   ratio %.2f\n", c.name, oursFps, theirsFps, oursFps / theirsFps);
    }
    return 0;
}
