#include "support/SpokenScript.h"

#include "platform/speech/PocketSphinxRecognizer.h"
#include "support/FakeAudioCapture.h"
#include "support/ManualTimer.h"
#include "teleprompter/FollowText.h"
#include "teleprompter/SpeechFollowHub.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstring>

namespace {

std::optional<std::vector<float>> sayOne(const QString& sentence, const QString& folder)
{
    const QString wav = folder + QStringLiteral("/sentence.wav");
    const QString raw = folder + QStringLiteral("/sentence.f32");
    if (QProcess::execute(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), QStringLiteral("en-us"), QStringLiteral("-s"), QStringLiteral("165"), QStringLiteral("-w"), wav, sentence}) != 0)
        return std::nullopt;
    if (QProcess::execute(QStringLiteral("sox"), {wav, QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"), QStringLiteral("1"),
                                                 QStringLiteral("-e"), QStringLiteral("floating-point"), QStringLiteral("-b"), QStringLiteral("32"),
                                                 QStringLiteral("-t"), QStringLiteral("raw"), raw}) != 0)
        return std::nullopt;
    QFile file(raw);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    std::vector<float> samples(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

} // namespace

std::optional<SpokenScript> SpokenScript::speak(const QString& script, const QString& folder)
{
    SpokenScript spoken;
    int tokens = 0;
    for (const QString& paragraph : script.split(QStringLiteral("\n"), Qt::SkipEmptyParts)) {
        for (const QString& sentence : FollowText::sentences(paragraph)) {
            const auto sound = sayOne(sentence, folder);
            if (!sound)
                return std::nullopt;
            spoken.samples.insert(spoken.samples.end(), sound->begin(), sound->end());
            // A short breath after each sentence, a longer one after each paragraph.
            spoken.samples.insert(spoken.samples.end(), sampleRate / 4, 0.0f);
            tokens += int(FollowText::tokens(sentence).size());
            spoken.sentences.push_back({spoken.samples.size(), tokens});
        }
        spoken.samples.insert(spoken.samples.end(), sampleRate / 2, 0.0f);
    }
    return spoken;
}

int SpokenScript::tokensBy(std::size_t sample) const
{
    for (const Sentence& sentence : sentences)
        if (sample <= sentence.endSample)
            return sentence.tokensSaid;
    return sentences.empty() ? 0 : sentences.back().tokensSaid;
}

bool SpokenScript::writeWav(const QString& path) const
{
    QFile raw(path + QStringLiteral(".f32"));
    if (!raw.open(QIODevice::WriteOnly) || raw.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(float))) < 0)
        return false;
    raw.close();
    return QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"), QStringLiteral("1"),
                                                    QStringLiteral("-e"), QStringLiteral("floating-point"), QStringLiteral("-b"), QStringLiteral("32"), raw.fileName(),
                                                    QStringLiteral("-b"), QStringLiteral("16"), path}) == 0;
}

QString sampleScript()
{
    return QStringLiteral(
        "Welcome back to the studio. Today we record a short lesson about the camera and the microphone. "
        "First we check the light on the desk, then we open the script.\n"
        "The teleprompter follows my voice while I read. When I pause, it waits for me. "
        "When I skip a line, it finds the place again after a few words.\n"
        "At the end of the take I press stop, and the studio finishes the movie in the background. "
        "The final file lands in the project folder, ready to share with the channel.");
}

void feedAsRecorder(SpeechFollowHub& hub, ManualTimer& clock, const std::vector<float>& samples, std::size_t& fed)
{
    constexpr std::size_t blockFrames = SpokenScript::sampleRate / 100;
    for (fed = 0; fed < samples.size();) {
        auto block = std::make_shared<AudioBlock>();
        block->sampleRate = SpokenScript::sampleRate;
        block->channels = 1;
        const std::size_t end = std::min(samples.size(), fed + blockFrames);
        block->samples.assign(samples.begin() + long(fed), samples.begin() + long(end));
        hub.feed(MediaSample::sound(std::move(block), MediaTime(int64_t(fed), SpokenScript::sampleRate)));
        fed = end;
        hub.waitUntilIdle();
        QCoreApplication::processEvents();
        clock.advance(double(blockFrames) / SpokenScript::sampleRate);
    }
}

std::unique_ptr<SpeechFollowHub> makeOfflineHub(ManualTimer*& clock, double generalModelWeight)
{
    auto timer = std::make_unique<ManualTimer>();
    clock = timer.get();
    SpeechFollowHub::Services services;
    services.recognizer = std::make_unique<PocketSphinxRecognizer>();
    services.microphone = std::make_unique<FakeAudioCapture>(std::make_shared<FakeAudioCapture::State>());
    services.timer = std::move(timer);
    if (generalModelWeight >= 0)
        services.generalModelWeight = generalModelWeight;
    auto hub = std::make_unique<SpeechFollowHub>(std::move(services));
    clock->settle = [target = hub.get()] { target->waitUntilIdle(); };
    return hub;
}
