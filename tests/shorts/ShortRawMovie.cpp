#include "ShortRawMovie.h"

#include "platform/media/MovieWriter.h"
#include "platform/media/PixelBuffer.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>

namespace ShortRawMovie {
namespace {

constexpr int toneHertz = 1000;

void paint(PixelBuffer& picture, int frame, int frameRate, bool busy, bool flashes)
{
    static const std::vector<uint8_t> noise = [] {
        std::vector<uint8_t> bytes(1 << 22);
        std::mt19937 random(11);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        return bytes;
    }();
    const bool flash = flashes && frame % frameRate == 0;
    const int width = picture.width();
    const int height = picture.height();
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.row(y);
        if (flash) {
            std::memset(row, 255, static_cast<size_t>(width) * 4);
            continue;
        }
        if (busy) {
            const size_t offset = (static_cast<size_t>(y) * 4099 + static_cast<size_t>(frame) * 37) % (noise.size() - static_cast<size_t>(width) * 4);
            std::memcpy(row, noise.data() + offset, static_cast<size_t>(width) * 4);
        } else {
            for (int x = 0; x < width; ++x)
                std::memcpy(row + 4 * x, "\x50\x50\x50\xff", 4);
        }
        if (y < height / 4 || y >= height * 3 / 4)
            continue;
        // Four wide steps per channel survive compression and a decoder's other YUV matrix.
        auto level = [](int digit) { return static_cast<uint8_t>(64 * digit + 32); };
        const uint8_t colour[4] = {level((frame / 16) % 4), level((frame / 4) % 4), level(frame % 4), 255};
        for (int x = width / 4; x < width * 3 / 4; ++x)
            std::memcpy(row + 4 * x, colour, 4);
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x)
            row[4 * x + 3] = 255;
    }
}

std::shared_ptr<AudioBlock> soundBlock(int64_t first, int frames)
{
    auto block = std::make_shared<AudioBlock>();
    block->channels = 1;
    block->samples.resize(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const int64_t position = first + i;
        const bool audible = position % 48000 < 4800;
        block->samples[static_cast<size_t>(i)] = audible ? 0.5f * static_cast<float>(std::sin(2 * M_PI * toneHertz * position / 48000.0)) : 0.0f;
    }
    return block;
}

} // namespace

void write(const QString& path, const Recipe& recipe)
{
    MovieWriter writer(path, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    MovieWriterInput* video = nullptr;
    if (recipe.video) {
        VideoSettings settings;
        settings.width = recipe.width;
        settings.height = recipe.height;
        settings.averageBitRate = static_cast<int64_t>(recipe.width) * recipe.height * 6;
        settings.maxKeyFrameInterval = recipe.frameRate * 2;
        settings.expectedFrameRate = recipe.frameRate;
        settings.preset = "ultrafast";
        video = writer.addVideoInput(settings);
        ASSERT_TRUE(video);
        video->setExpectsMediaDataInRealTime(true);
    }
    MovieWriterInput* audio = nullptr;
    if (recipe.sound) {
        audio = writer.addAudioInput(AudioSettings {48000, 1, 128000});
        ASSERT_TRUE(audio);
        audio->setExpectsMediaDataInRealTime(true);
    }
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    const int frames = static_cast<int>(std::lround(recipe.seconds * recipe.frameRate));
    int64_t soundWritten = 0;
    const int pictures = recipe.pictureSeconds < 0 ? frames : static_cast<int>(std::lround(recipe.pictureSeconds * recipe.frameRate));
    const int64_t soundEnd = recipe.soundSeconds < 0 ? INT64_MAX : std::llround(recipe.soundSeconds * 48000);
    for (int frame = 0; frame < frames; ++frame) {
        if (video && frame == pictures)
            video->markAsFinished();
        if (video && frame < pictures) {
            auto picture = std::make_shared<PixelBuffer>(recipe.width, recipe.height);
            paint(*picture, frame, recipe.frameRate, recipe.busy, recipe.flashes);
            ASSERT_TRUE(video->append(MediaSample::video(picture, MediaTime(frame, recipe.frameRate), MediaTime(1, recipe.frameRate))));
        }
        const int64_t soundDue = std::min(soundEnd, (static_cast<int64_t>(frame) + 1) * 48000 / recipe.frameRate);
        if (audio && soundDue > soundWritten) {
            ASSERT_TRUE(audio->append(MediaSample::sound(soundBlock(soundWritten, static_cast<int>(soundDue - soundWritten)), MediaTime(soundWritten, 48000))));
            soundWritten = soundDue;
        }
    }
    if (video && pictures >= frames)
        video->markAsFinished();
    if (audio)
        audio->markAsFinished();
    ASSERT_TRUE(writer.finishWriting());
}

bool writeResized(const QString& path, QSize first, double firstSeconds, QSize then, double seconds)
{
    // Two H.264 streams that carry their parameter sets in band, one after the other, so the decoder meets the
    // new size where the second begins; the movie's track still names the first size.
    const QString stream = path + QStringLiteral(".h264");
    QFile::remove(stream);
    auto run = [](const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + arguments);
        return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    };
    auto part = [&](QSize size, double length, const QString& to) {
        return run({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc=size=%1x%2:rate=30:duration=%3").arg(size.width()).arg(size.height()).arg(length), QStringLiteral("-c:v"),
            QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
            QStringLiteral("-f"), QStringLiteral("h264"), to});
    };
    const QString second = path + QStringLiteral(".2.h264");
    if (!part(first, firstSeconds, stream) || !part(then, seconds - firstSeconds, second))
        return false;
    QFile joined(stream);
    QFile tail(second);
    if (!joined.open(QIODevice::Append) || !tail.open(QIODevice::ReadOnly) || joined.write(tail.readAll()) < 0)
        return false;
    joined.close();
    tail.remove();
    const bool made = run({QStringLiteral("-framerate"), QStringLiteral("30"), QStringLiteral("-f"), QStringLiteral("h264"), QStringLiteral("-i"), stream,
        QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("sine=frequency=1000:sample_rate=48000:duration=%1").arg(seconds), QStringLiteral("-map"), QStringLiteral("0:v"),
        QStringLiteral("-map"), QStringLiteral("1:a"), QStringLiteral("-c:v"), QStringLiteral("copy"), QStringLiteral("-c:a"), QStringLiteral("aac"),
        QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("mov"), path});
    QFile::remove(stream);
    return made;
}

int frameNumber(const QImage& picture)
{
    const QColor centre = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    auto digit = [](int value) { return std::clamp(value / 64, 0, 3); };
    return digit(centre.red()) + 4 * digit(centre.green()) + 16 * digit(centre.blue());
}

bool isFlash(const QImage& picture)
{
    const QImage small = picture.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            sum += qGray(small.pixel(x, y));
    return sum / 256 > 220;
}

} // namespace ShortRawMovie
