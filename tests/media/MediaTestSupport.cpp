#include "MediaTestSupport.h"

#include "platform/media/PixelBuffer.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace MediaTestSupport {

std::shared_ptr<PixelBuffer> movingNoise(int width, int height, int frameIndex)
{
    static std::vector<uint8_t> texture = [] {
        std::vector<uint8_t> t(4096 * 4096 / 4);
        std::mt19937 random(7);
        for (auto& v : t)
            v = static_cast<uint8_t>(random());
        return t;
    }();
    auto buffer = std::make_shared<PixelBuffer>(width, height);
    const int shift = frameIndex * 2;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = buffer->row(y);
        for (int x = 0; x < width; ++x) {
            const size_t i = (static_cast<size_t>(y) * 2048 + static_cast<size_t>(x + shift)) % texture.size();
            const uint8_t v = texture[i];
            row[x * 4 + 0] = v;
            row[x * 4 + 1] = static_cast<uint8_t>(v / 2 + y);
            row[x * 4 + 2] = static_cast<uint8_t>(255 - v);
            row[x * 4 + 3] = 255;
        }
    }
    return buffer;
}

std::shared_ptr<AudioBlock> tone(int sampleRate, int channels, int frames, int64_t firstFrame, double hertz, float amplitude)
{
    auto block = std::make_shared<AudioBlock>();
    block->sampleRate = sampleRate;
    block->channels = channels;
    block->samples.resize(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int i = 0; i < frames; ++i) {
        const float v = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hertz * static_cast<double>(firstFrame + i) / sampleRate));
        for (int c = 0; c < channels; ++c)
            block->samples[static_cast<size_t>(i) * static_cast<size_t>(channels) + static_cast<size_t>(c)] = v;
    }
    return block;
}

VideoSettings videoSettingsFor(const MovieRecipe& recipe)
{
    VideoSettings settings;
    settings.codec = recipe.codec;
    settings.width = recipe.width;
    settings.height = recipe.height;
    settings.averageBitRate = static_cast<int64_t>(static_cast<double>(recipe.width) * recipe.height * 6.0);
    settings.maxKeyFrameInterval = recipe.frameRate * 2;
    settings.expectedFrameRate = recipe.frameRate;
    settings.preset = "ultrafast";
    return settings;
}

void writeMovie(const QString& path, const MovieRecipe& recipe)
{
    MovieWriter writer(path, recipe.type, recipe.mode);
    MovieWriterInput* video = nullptr;
    if (recipe.video) {
        video = writer.addVideoInput(videoSettingsFor(recipe));
        ASSERT_NE(video, nullptr) << writer.lastInputError().value_or(MediaError {}).description.toStdString();
        video->setExpectsMediaDataInRealTime(true);
    }
    std::vector<MovieWriterInput*> audio;
    for (int i = 0; i < recipe.audioTracks; ++i) {
        audio.push_back(writer.addAudioInput(AudioSettings {recipe.audioRate, recipe.audioChannels, 128000}));
        ASSERT_NE(audio.back(), nullptr);
        audio.back()->setExpectsMediaDataInRealTime(true);
    }
    ASSERT_TRUE(writer.startWriting()) << writer.error().value_or(MediaError {}).description.toStdString();
    writer.startSession(MediaTime::zero());
    const int frames = static_cast<int>(std::lround((recipe.seconds - recipe.videoStart) * recipe.frameRate));
    const int blockFrames = recipe.audioRate / 50;
    int64_t audioFrame = 0;
    const int64_t audioFrames = std::llround((recipe.seconds - recipe.audioStart) * recipe.audioRate);
    const int64_t audioOffset = std::llround(recipe.audioStart * recipe.audioRate);
    for (int f = 0; f < frames || audioFrame < audioFrames; ++f) {
        const MediaTime videoTime = MediaTime(std::llround(recipe.videoStart * 600), 600) + MediaTime(f, recipe.frameRate);
        if (video && f < frames) {
            ASSERT_TRUE(video->append(MediaSample::video(recipe.picture(recipe.width, recipe.height, f), videoTime, MediaTime(1, recipe.frameRate))));
        }
        while (audioFrame < audioFrames && MediaTime(audioFrame + audioOffset, recipe.audioRate) <= videoTime + MediaTime(1, recipe.frameRate)) {
            const int n = static_cast<int>(std::min<int64_t>(blockFrames, audioFrames - audioFrame));
            for (size_t t = 0; t < audio.size(); ++t) {
                auto block = tone(recipe.audioRate, recipe.audioChannels, n, audioFrame,
                    440.0 * (recipe.sameToneOnEveryTrack ? 1.0 : static_cast<double>(t + 1)), recipe.audioAmplitude);
                ASSERT_TRUE(audio[t]->append(MediaSample::sound(block, MediaTime(audioFrame + audioOffset, recipe.audioRate))));
            }
            audioFrame += n;
        }
    }
    if (video)
        video->markAsFinished();
    for (auto* input : audio)
        input->markAsFinished();
    ASSERT_TRUE(writer.finishWriting()) << writer.error().value_or(MediaError {}).description.toStdString();
}

std::unique_ptr<MovieReader> openReader(const QString& path)
{
    auto opened = MovieReader::open(path);
    if (auto* failure = std::get_if<MediaError>(&opened)) {
        ADD_FAILURE() << failure->description.toStdString();
        return nullptr;
    }
    return std::move(std::get<0>(opened));
}

MovieAsset assetOf(const QString& path)
{
    auto opened = MovieAsset::open(path);
    if (auto* failure = std::get_if<MediaError>(&opened)) {
        ADD_FAILURE() << failure->description.toStdString();
        return {};
    }
    return std::get<MovieAsset>(opened);
}

std::vector<MediaSample> drain(SampleSource& source)
{
    std::vector<MediaSample> samples;
    while (auto sample = source.copyNextSample())
        samples.push_back(std::move(*sample));
    return samples;
}

std::vector<MediaSample> packetsOfTrack(const QString& path, int track)
{
    auto reader = openReader(path);
    MovieReaderOutput* output = reader ? reader->addPacketOutput(track) : nullptr;
    if (!output || !reader->startReading())
        return {};
    return drain(*output);
}

QStringList hiddenFiles(const QString& folder)
{
    return QDir(folder).entryList(QStringList {QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace MediaTestSupport
