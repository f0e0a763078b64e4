#include "support/SyntheticTake.h"

#include "platform/media/AudioMix.h"
#include "platform/media/MovieReader.h"
#include "platform/media/MovieWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace SyntheticTake {
namespace {

std::shared_ptr<PixelBuffer> busyPicture(int width, int height, int index)
{
    static std::mt19937 random(11);
    auto picture = std::make_shared<PixelBuffer>(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture->row(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t grain = static_cast<uint8_t>(random() & 0x3f);
            row[x * 4 + 0] = static_cast<uint8_t>(x + index * 3 + grain);
            row[x * 4 + 1] = static_cast<uint8_t>(y * 2 + grain);
            row[x * 4 + 2] = static_cast<uint8_t>(96 + grain);
            row[x * 4 + 3] = 255;
        }
    }
    return picture;
}

std::shared_ptr<AudioBlock> screenSound(int track, int64_t firstFrame, int frames, double beepAt)
{
    auto block = std::make_shared<AudioBlock>();
    block->samples.resize(static_cast<size_t>(frames) * 2);
    const int64_t beepStart = beepAt >= 0 ? std::llround(beepAt * 48000) : -1;
    for (int i = 0; i < frames; ++i) {
        const int64_t n = firstFrame + i;
        float v = 0;
        if (track == 0 && beepStart >= 0 && n >= beepStart && n < beepStart + 2400)
            v = 0.6f * static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(n) / 48000));
        if (track == 1)
            v = 0.1f * static_cast<float>(std::sin(2.0 * M_PI * 660.0 * static_cast<double>(n) / 48000));
        block->samples[static_cast<size_t>(i) * 2] = block->samples[static_cast<size_t>(i) * 2 + 1] = v;
    }
    return block;
}

VideoSettings quickSettings(VideoSettings::Codec codec, int width, int height, int frameRate)
{
    VideoSettings settings;
    settings.codec = codec;
    settings.width = width;
    settings.height = height;
    settings.averageBitRate = static_cast<int64_t>(width) * height * 8;
    settings.maxKeyFrameInterval = frameRate;
    settings.expectedFrameRate = frameRate;
    settings.preset = "ultrafast";
    return settings;
}

std::unique_ptr<MovieReader> openReader(const QString& path)
{
    auto opened = MovieReader::open(path);
    if (!std::holds_alternative<std::unique_ptr<MovieReader>>(opened)) {
        ADD_FAILURE() << "cannot open " << path.toStdString();
        return nullptr;
    }
    return std::move(std::get<0>(opened));
}

} // namespace

void writeScreen(const QString& path, const ScreenRecipe& recipe)
{
    MovieWriter writer(path, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    MovieWriterInput* video = nullptr;
    if (recipe.video) {
        video = writer.addVideoInput(quickSettings(VideoSettings::Codec::hevc, recipe.width, recipe.height, recipe.frameRate));
        ASSERT_NE(video, nullptr);
        video->setExpectsMediaDataInRealTime(true);
    }
    std::vector<MovieWriterInput*> audio;
    for (int t = 0; t < recipe.audioTracks; ++t) {
        audio.push_back(writer.addAudioInput(AudioSettings {48000, 2, 128000}));
        ASSERT_NE(audio.back(), nullptr);
        audio.back()->setExpectsMediaDataInRealTime(true);
    }
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    const int64_t soundFrames = std::llround(recipe.seconds * 48000);
    const int blockFrames = 48000 / recipe.frameRate;
    int64_t written = 0;
    for (int f = 0; written < soundFrames || (video && f < std::lround(recipe.seconds * recipe.frameRate)); ++f) {
        const MediaTime time = MediaTime::fromSeconds(recipe.firstFrame, 600) + MediaTime(f, recipe.frameRate);
        if (video && recipe.pictures && time < MediaTime::fromSeconds(recipe.seconds, 600)) {
            ASSERT_TRUE(video->append(MediaSample::video(busyPicture(recipe.width, recipe.height, f), time, MediaTime(1, recipe.frameRate))));
        }
        if (written < soundFrames) {
            const int n = static_cast<int>(std::min<int64_t>(blockFrames, soundFrames - written));
            for (size_t t = 0; t < audio.size(); ++t)
                ASSERT_TRUE(audio[t]->append(MediaSample::sound(screenSound(static_cast<int>(t), written, n, recipe.beepAt), MediaTime(written, 48000))));
            written += n;
        }
    }
    if (video)
        video->markAsFinished();
    for (auto* input : audio)
        input->markAsFinished();
    ASSERT_TRUE(writer.finishWriting());
}

void writeOverlay(const QString& path, const OverlayRecipe& recipe)
{
    const int width = recipe.portrait ? recipe.height : recipe.width;
    const int height = recipe.portrait ? recipe.width : recipe.height;
    MovieWriter writer(path, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    MovieWriterInput* video = writer.addVideoInput(quickSettings(VideoSettings::Codec::h264, width, height, recipe.frameRate));
    ASSERT_NE(video, nullptr);
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    const MediaTime start = MediaTime::fromSeconds(recipe.start, 600);
    const MediaTime end = MediaTime::fromSeconds(recipe.end, 600);
    for (int f = 0; start + MediaTime(f, recipe.frameRate) < end; ++f) {
        auto picture = std::make_shared<PixelBuffer>(width, height);
        picture->fill(40, 200, static_cast<uint8_t>(20 + 4 * (f % 55)), 255);
        ASSERT_TRUE(video->append(MediaSample::video(picture, start + MediaTime(f, recipe.frameRate), MediaTime(1, recipe.frameRate))));
    }
    video->markAsFinished();
    ASSERT_TRUE(writer.finishWriting());
}

int pictureNumber(const PixelBuffer& picture, int x, int y)
{
    const uint8_t* pixel = picture.row(y) + x * 4;
    if (std::abs(pixel[1] - 200) > 20 || std::abs(pixel[0] - 40) > 20)
        return -1;
    return static_cast<int>(std::lround((pixel[2] - 20) / 4.0));
}

void writeSound(const QString& path, double seconds, MovieFileType type)
{
    MovieWriter writer(path, type, MovieWriteMode::finishing);
    MovieWriterInput* input = writer.addAudioInput(AudioSettings {48000, 2, 64000});
    ASSERT_NE(input, nullptr);
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    const int64_t total = std::llround(seconds * 48000);
    for (int64_t at = 0; at < total; at += 4800) {
        const int n = static_cast<int>(std::min<int64_t>(4800, total - at));
        ASSERT_TRUE(input->append(MediaSample::sound(screenSound(1, at, n, -1), MediaTime(at, 48000))));
    }
    input->markAsFinished();
    ASSERT_TRUE(writer.finishWriting());
}

std::vector<Packet> packets(const QString& path, int trackIndex)
{
    std::vector<Packet> result;
    auto reader = openReader(path);
    if (!reader)
        return result;
    MovieReaderOutput* output = reader->addPacketOutput(trackIndex);
    if (!output || !reader->startReading())
        return result;
    while (auto sample = output->copyNextSample())
        result.push_back({sample->presentationTime(), sample->timing.front().decodeTime, sample->packet->keyFrame, sample->packet->data});
    return result;
}

std::vector<MediaSample> pictures(const QString& path)
{
    std::vector<MediaSample> result;
    auto reader = openReader(path);
    if (!reader)
        return result;
    const MovieTrack* track = reader->asset().firstTrack(MovieTrack::MediaType::video);
    MovieReaderOutput* output = track ? reader->addVideoOutput(track->index) : nullptr;
    if (!output || !reader->startReading())
        return result;
    while (auto sample = output->copyNextSample()) {
        // The pool recycles its buffers: keep a copy of each picture.
        sample->pixels = std::make_shared<PixelBuffer>(*sample->pixels);
        result.push_back(std::move(*sample));
    }
    return result;
}

std::vector<float> sound(const QString& path, double* startSeconds)
{
    std::vector<float> result;
    auto reader = openReader(path);
    if (!reader)
        return result;
    std::vector<int> tracks;
    for (const MovieTrack* track : reader->asset().tracks(MovieTrack::MediaType::audio))
        tracks.push_back(track->index);
    AudioMix mix(*reader, tracks);
    if (mix.isEmpty() || !reader->startReading())
        return result;
    bool first = true;
    while (auto sample = mix.copyNextSample()) {
        if (first && startSeconds)
            *startSeconds = sample->presentationTime().seconds();
        first = false;
        result.insert(result.end(), sample->audio->samples.begin(), sample->audio->samples.end());
    }
    return result;
}

double firstLoudTime(const std::vector<float>& samples, double startSeconds, float threshold)
{
    for (size_t i = 0; i < samples.size(); i += 2) {
        if (std::abs(samples[i]) > threshold)
            return startSeconds + static_cast<double>(i / 2) / 48000.0;
    }
    return -1;
}

QString probeField(const QString& path, const QString& type, const QString& field)
{
    QProcess process;
    process.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
        QStringLiteral("json"), QStringLiteral("-show_streams"), path});
    process.waitForFinished(60000);
    const QJsonArray streams = QJsonDocument::fromJson(process.readAllStandardOutput()).object().value(QStringLiteral("streams")).toArray();
    for (const auto& stream : streams) {
        const QJsonObject object = stream.toObject();
        if (object.value(QStringLiteral("codec_type")).toString() == type)
            return object.value(field).toVariant().toString();
    }
    return {};
}

} // namespace SyntheticTake
