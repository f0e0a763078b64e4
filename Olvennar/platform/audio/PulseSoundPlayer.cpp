#include "platform/audio/PulseSoundPlayer.h"

#include "platform/audio/FeedbackSounds.h"
#include "platform/system/DispatchQueue.h"

#include <pulse/simple.h>

PulseSoundPlayer::PulseSoundPlayer()
    : queue_(std::make_unique<DispatchQueue>("com.quorrel.festrin.sounds"))
{
    for (const char* name : {"Funk", "Basso", "Pop", "Tink"})
        sounds_[QString::fromLatin1(name)] = std::make_shared<const std::vector<float>>(FeedbackSounds::synthesize(QString::fromLatin1(name)));
}

PulseSoundPlayer::~PulseSoundPlayer() = default;

void PulseSoundPlayer::play(const QString& name)
{
    const auto found = sounds_.find(name);
    if (found == sounds_.end())
        return;
    auto samples = found->second;
    queue_->async([samples] {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, FeedbackSounds::sampleRate, 1};
        struct Closer {
            void operator()(pa_simple* s) const { pa_simple_free(s); }
        };
        std::unique_ptr<pa_simple, Closer> stream(
            pa_simple_new(nullptr, "Olvennar", PA_STREAM_PLAYBACK, nullptr, "feedback", &spec, nullptr, nullptr, nullptr));
        if (!stream)
            return;
        if (pa_simple_write(stream.get(), samples->data(), samples->size() * sizeof(float), nullptr) == 0)
            pa_simple_drain(stream.get(), nullptr);
    });
}
