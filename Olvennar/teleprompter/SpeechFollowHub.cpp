#include "teleprompter/SpeechFollowHub.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/audio/AudioCapture.h"
#include "platform/speech/SpeechRecognizer.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/MainThread.h"
#include "platform/system/MonotonicTimer.h"
#include "platform/system/ThisThread.h"
#include "teleprompter/ScriptLanguageModel.h"

#include <QObject>

#include <algorithm>

namespace {

const QString listening = QStringLiteral("Listening (on this computer)");
const QString modelMissing = QStringLiteral("Speech recognition is not available: the speech model is not installed.");
const QString unavailable = QStringLiteral("Speech recognition isn't available right now.");

} // namespace

double SpeechFollowHub::restartDelay(int consecutiveErrors)
{
    return consecutiveErrors == 0 ? finalRestartSeconds : std::min(consecutiveErrors / 4.0, 2.0);
}

bool SpeechFollowHub::logsError(int consecutiveErrors)
{
    return consecutiveErrors <= errorsLoggedInFull || consecutiveErrors % errorLogInterval == 0;
}

SpeechFollowHub::SpeechFollowHub(Services services)
    : mainThreadContext_(std::make_unique<QObject>())
    , recognizer_(std::move(services.recognizer))
    , microphone_(std::move(services.microphone))
    , timer_(std::move(services.timer))
    , access_(services.access)
    , generalModelWeight_(services.generalModelWeight)
{
    // Recognition is background work: it yields to a take's capture and writers.
    queue_.async([] { ThisThread::lowerPriority(); });
}

SpeechFollowHub::~SpeechFollowHub()
{
    // Timers and the microphone call back into the queue: silence them, and whatever they still post.
    queue_.sync([this] {
        closing_ = true;
        stopEngine();
        if (utteranceOpen_)
            recognizer_->endUtterance();
        utteranceOpen_ = false;
        timer_.reset();
    });
}

void SpeechFollowHub::post(std::function<void()> work)
{
    ++dispatches_;
    queue_.async([this, work = std::move(work)] {
        if (!closing_)
            work();
    });
}

void SpeechFollowHub::waitUntilIdle()
{
    queue_.sync([] {});
}

void SpeechFollowHub::setWanted(bool wanted, const QStringList& words, const QString& scriptText)
{
    {
        std::lock_guard guard(flag_);
        wantedFlag_ = wanted;
    }
    post([this, wanted, words, scriptText] {
        contextual_ = words.mid(0, contextualLimit);
        scriptText_ = scriptText;
        if (wanted == wanted_) {
            if (wanted)
                beginIfPossible();
            return;
        }
        wanted_ = wanted;
        if (wanted)
            beginIfPossible();
        else
            shutdown(QString());
    });
}

void SpeechFollowHub::setBusy(bool busy)
{
    post([this, busy] {
        if (busy == busy_)
            return;
        busy_ = busy;
        if (!wanted_)
            return;
        if (busy) {
            stopEngine();
            if (source_ == Source::engine) {
                // The new utterance waits for the recorder's blocks.
                source_ = Source::none;
                restartRequest();
            }
            return;
        }
        source_ = Source::none;
        beginIfPossible();
    });
}

void SpeechFollowHub::feed(const MediaSample& block)
{
    {
        std::lock_guard guard(flag_);
        if (!wantedFlag_)
            return;
    }
    post([this, block] { recorderBlock(block); });
}

void SpeechFollowHub::beginIfPossible()
{
    if (!wanted_)
        return;
    if (!recognizer_->modelInstalled()) {
        authorized_ = false;
        status(modelMissing);
        return;
    }
    authorized_ = true;
    startEngineIfIdle();
}

void SpeechFollowHub::startEngineIfIdle()
{
    if (!wanted_ || !authorized_ || busy_)
        return;
    if (access_ && access_->microphone() != Permissions::State::granted) {
        status(QStringLiteral("Microphone not allowed for ") + Edition::appName() + QLatin1Char('.'));
        return;
    }
    if (engineRunning_)
        return;
    AudioCapture::Request request;
    request.source = AudioCapture::Source::defaultMicrophone;
    request.sampleRate = SpeechRecognizer::sampleRate;
    request.channels = 1;
    // The sound as it is read: its place on the clock does not matter here, and a capture may hold the
    // placed blocks for a second or more after a hold-up.
    request.onRead = [this](const MediaSample& block) {
        post([this, block] {
            if (source_ == Source::engine && block.audio)
                append(*block.audio);
        });
    };
    const auto error = microphone_->start(
        request, {}, [](const QString& reason) { Diagnostics::log(QStringLiteral("follow: microphone stopped: ") + reason); });
    if (error) {
        status(QStringLiteral("Could not start the microphone: ") + *error);
        return;
    }
    engineRunning_ = true;
    source_ = Source::engine;
    restartRequest();
}

void SpeechFollowHub::stopEngine()
{
    if (!engineRunning_)
        return;
    microphone_->stop();
    engineRunning_ = false;
}

void SpeechFollowHub::installModelIfChanged()
{
    if (modelInstalled_ && contextual_ == installedContextual_ && scriptText_ == installedScriptText_)
        return;
    const auto built = ScriptLanguageModel::build(scriptText_, contextual_, [this](const QString& word) { return recognizer_->pronunciation(word); });
    if (built.droppedWords > 0)
        Diagnostics::log(QStringLiteral("follow: %1 script words are not in the speech dictionary and are left out").arg(built.droppedWords));
    SpeechRecognizer::LanguageModel model = built.model;
    model.generalWeight = model.arpa.isEmpty() ? 0 : generalModelWeight_;
    if (!recognizer_->installLanguageModel(model)) {
        Diagnostics::log(QStringLiteral("follow: language model not installed: ") + recognizer_->errorText());
        return;
    }
    installedContextual_ = contextual_;
    installedScriptText_ = scriptText_;
    modelInstalled_ = true;
}

void SpeechFollowHub::restartRequest()
{
    if (!wanted_ || !authorized_)
        return;
    if (!recognizer_->available()) {
        status(unavailable);
        return;
    }
    // The old utterance's words and errors no longer count.
    if (utteranceOpen_)
        recognizer_->endUtterance();
    utteranceOpen_ = false;
    installModelIfChanged();
    ++generation_;
    lastHypothesis_.clear();
    inSpeech_ = false;
    if (!recognizer_->startUtterance()) {
        taskFailed(recognizer_->errorText());
        return;
    }
    utteranceOpen_ = true;
    status(listening);
    scheduleRotation();
}

void SpeechFollowHub::scheduleRotation()
{
    const int rotation = ++rotation_;
    timer_->after(rotationSeconds, [this, rotation] {
        post([this, rotation] {
            if (rotation != rotation_)
                return;
            if (wanted_ && source_ != Source::none)
                restartRequest();
            else
                scheduleRotation();
        });
    });
}

void SpeechFollowHub::scheduleRestart(double delay)
{
    const int generation = generation_;
    timer_->after(delay, [this, generation] {
        post([this, generation] {
            if (generation == generation_ && wanted_)
                restartRequest();
        });
    });
}

void SpeechFollowHub::shutdown(const QString& text)
{
    stopEngine();
    if (utteranceOpen_)
        recognizer_->endUtterance();
    utteranceOpen_ = false;
    ++rotation_;
    ++recorderWatch_;
    source_ = Source::none;
    ++generation_;
    status(text);
}

void SpeechFollowHub::status(const QString& text)
{
    runOnMainThread(mainThreadContext_.get(), [this, text](QObject*) {
        if (onStatus)
            onStatus(text);
    });
}

void SpeechFollowHub::recorderBlock(const MediaSample& block)
{
    if (!wanted_ || !authorized_ || !block.audio)
        return;
    lastRecorderBlock_ = timer_->now();
    if (source_ != Source::recorder) {
        stopEngine();
        source_ = Source::recorder;
        restartRequest();
        if (!busy_)
            watchRecorder();
    }
    append(*block.audio);
}

// A recorder feeding while the studio is idle (a camera recorder after a failure, say) must not leave the
// hub deaf when its blocks stop: after a second of silence the hub listens to the microphone again.
void SpeechFollowHub::watchRecorder()
{
    const int watch = ++recorderWatch_;
    const double due = lastRecorderBlock_ + recorderSilenceSeconds;
    timer_->after(std::max(0.0, due - timer_->now()), [this, watch] {
        post([this, watch] {
            if (watch != recorderWatch_ || source_ != Source::recorder || busy_ || !wanted_)
                return;
            if (timer_->now() - lastRecorderBlock_ < recorderSilenceSeconds) {
                watchRecorder();
                return;
            }
            Diagnostics::log(QStringLiteral("follow: the recorder's sound stopped; listening to the microphone again"));
            source_ = Source::none;
            beginIfPossible();
        });
    });
}

void SpeechFollowHub::append(const AudioBlock& block)
{
    if (!utteranceOpen_)
        return;
    if (!converter_.convert(block, samples_) || samples_.empty())
        return;
    if (!recognizer_->process(samples_.data(), samples_.size())) {
        taskFailed(recognizer_->errorText());
        return;
    }
    // The decoder's last word is a guess at a word still being spoken; it is sent once the next word
    // follows it, or with the final text.
    QString hypothesis = recognizer_->hypothesis();
    hypothesis.truncate(std::max<qsizetype>(0, hypothesis.lastIndexOf(u' ')));
    if (hypothesis != lastHypothesis_) {
        lastHypothesis_ = hypothesis;
        if (!hypothesis.isEmpty())
            heard(hypothesis);
    }
    const bool speaking = recognizer_->inSpeech();
    const bool pauseBegan = inSpeech_ && !speaking;
    inSpeech_ = speaking;
    if (!pauseBegan)
        return;
    // The speaker paused: the utterance's final text, then a fresh utterance.
    utteranceOpen_ = false;
    if (!recognizer_->endUtterance()) {
        taskFailed(recognizer_->errorText());
        return;
    }
    const QString finalText = recognizer_->hypothesis();
    if (!finalText.isEmpty())
        heard(finalText);
    scheduleRestart(restartDelay(consecutiveErrors_));
}

void SpeechFollowHub::heard(const QString& text)
{
    consecutiveErrors_ = 0;
    if (!heardAny_) {
        heardAny_ = true;
        Diagnostics::log(QStringLiteral("follow: first words heard (on this computer)"));
    }
    runOnMainThread(mainThreadContext_.get(), [this, text](QObject*) {
        if (onHeard)
            onHeard(text);
    });
}

void SpeechFollowHub::taskFailed(const QString& reason)
{
    ++consecutiveErrors_;
    if (logsError(consecutiveErrors_))
        Diagnostics::log(QStringLiteral("follow: recognition ended (%1): ").arg(consecutiveErrors_) + reason);
    if (utteranceOpen_)
        recognizer_->endUtterance();
    utteranceOpen_ = false;
    scheduleRestart(restartDelay(consecutiveErrors_));
}
