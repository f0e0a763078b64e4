#include "support/SyntheticTake.h"

#include "platform/media/AudioMix.h"
#include "support/MovieProbe.h"

#include <QRandomGenerator>


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

} // namespace

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
            const uint8_t v = texture[(static_cast<size_t>(y) * 2048 + static_cast<size_t>(x + shift)) % texture.size()];
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
    settings.averageBitRate = static_cast<int64_t>(static_cast<double>(recipe.width) * recipe.height * recipe.bitsPerPixel);
    settings.maxKeyFrameInterval = recipe.frameRate * recipe.keyFrameSeconds;
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
        audio.push_back(writer.addAudioInput(AudioSettings {recipe.audioRate, recipe.audioChannels, recipe.audioBitRate}));
        ASSERT_NE(audio.back(), nullptr);
        audio.back()->setExpectsMediaDataInRealTime(true);
    }
    ASSERT_TRUE(writer.startWriting()) << writer.error().value_or(MediaError {}).description.toStdString();
    writer.startSession(MediaTime::zero());
    const MediaTime end = MediaTime::fromSeconds(recipe.seconds, 600);
    const int blockFrames = recipe.audioRate / 50;
    int64_t audioFrame = 0;
    const int64_t audioFrames = std::llround((recipe.seconds - recipe.audioStart) * recipe.audioRate);
    const int64_t audioOffset = std::llround(recipe.audioStart * recipe.audioRate);
    for (int f = 0;; ++f) {
        const MediaTime videoTime = MediaTime::fromSeconds(recipe.videoStart, 600) + MediaTime(f, recipe.frameRate);
        if (videoTime >= end && audioFrame >= audioFrames)
            break;
        if (video && recipe.picture && videoTime < end) {
            ASSERT_TRUE(video->append(MediaSample::video(recipe.picture(recipe.width, recipe.height, f), videoTime, MediaTime(1, recipe.frameRate))));
        }
        while (audioFrame < audioFrames && MediaTime(audioFrame + audioOffset, recipe.audioRate) <= videoTime + MediaTime(1, recipe.frameRate)) {
            const int n = static_cast<int>(std::min<int64_t>(blockFrames, audioFrames - audioFrame));
            for (size_t t = 0; t < audio.size(); ++t) {
                auto block = recipe.sound ? recipe.sound(static_cast<int>(t), audioFrame, n)
                                          : tone(recipe.audioRate, recipe.audioChannels, n, audioFrame,
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

void writeScreen(const QString& path, const ScreenRecipe& recipe)
{
    writeMovie(path, {.codec = VideoSettings::Codec::hevc, .width = recipe.width, .height = recipe.height, .frameRate = recipe.frameRate,
                         .seconds = recipe.seconds, .videoStart = recipe.firstFrame, .audioTracks = recipe.audioTracks,
                         .mode = MovieWriteMode::capture, .video = recipe.video,
                         .picture = recipe.pictures ? std::function(busyPicture) : nullptr,
                         .sound = [beepAt = recipe.beepAt](int track, int64_t first, int frames) { return screenSound(track, first, frames, beepAt); },
                         .bitsPerPixel = 8, .keyFrameSeconds = 1});
}

void writeOverlay(const QString& path, const OverlayRecipe& recipe)
{
    const auto flat = [](int width, int height, int f) {
        auto picture = std::make_shared<PixelBuffer>(width, height);
        picture->fill(40, 200, static_cast<uint8_t>(20 + 4 * (f % 55)), 255);
        return picture;
    };
    writeMovie(path, {.width = recipe.portrait ? recipe.height : recipe.width, .height = recipe.portrait ? recipe.width : recipe.height,
                         .frameRate = recipe.frameRate, .seconds = recipe.end, .videoStart = recipe.start, .audioTracks = 0,
                         .mode = MovieWriteMode::capture, .picture = flat, .bitsPerPixel = 8, .keyFrameSeconds = 1});
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
    writeMovie(path, {.seconds = seconds, .type = type, .video = false,
                         .sound = [](int, int64_t first, int frames) { return screenSound(1, first, frames, -1); }, .audioBitRate = 64000});
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

std::vector<Packet> packets(const QString& path, int trackIndex)
{
    std::vector<Packet> result;
    for (const MediaSample& sample : packetsOfTrack(path, trackIndex))
        result.push_back({sample.presentationTime(), sample.timing.front().decodeTime, sample.packet->keyFrame, sample.packet->data});
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
    const QJsonArray streams = MovieProbe::streamsOfType(MovieProbe::streams(path), type);
    return streams.isEmpty() ? QString() : streams.first().toObject().value(field).toVariant().toString();
}

TopLevelBoxes topLevelBoxesOf(const QByteArray& movie)
{
    TopLevelBoxes found;
    for (qint64 at = 0; at < movie.size();) {
        if (movie.size() - at < 8) {
            found.endsWhole = false;
            break;
        }
        const auto* p = reinterpret_cast<const uchar*>(movie.constData() + at);
        const qint64 size = (qint64(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        // A box cut short still names its type: a reader meets it there.
        found.boxes.emplace_back(movie.mid(at + 4, 4), at);
        if (size < 8 || at + size > movie.size()) {
            found.endsWhole = false;
            break;
        }
        at += size;
    }
    return found;
}

qint64 boxAfter(const QByteArray& movie, const char* type, qint64 from)
{
    for (const auto& [boxType, at] : topLevelBoxesOf(movie).boxes) {
        if (boxType == type && at >= from)
            return at;
    }
    ADD_FAILURE() << "no " << type << " box after " << from;
    return 0;
}

QByteArray withRandomBytes(QByteArray movie, qint64 at, qint64 count, quint32 seed)
{
    QRandomGenerator random(seed);
    for (qint64 i = std::max<qint64>(at, 0); i < std::min<qint64>(at + count, movie.size()); ++i)
        movie[i] = static_cast<char>(random.bounded(256));
    return movie;
}

} // namespace SyntheticTake
