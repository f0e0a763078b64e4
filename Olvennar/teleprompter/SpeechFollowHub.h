#pragma once

#include "takedata/SpeechAudioSink.h"
#include "takedata/SpeechBusySink.h"
#include "platform/speech/SpeechSampleConverter.h"
#include "platform/system/DispatchQueue.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class AccessProbe;
class AudioCapture;
class MonotonicTimer;
class QObject;
class SpeechRecognizer;

// The one speech recogniser behind voice follow. While the studio is idle it listens to the default
// microphone itself (16 kHz mono); during a take the running recorder feeds it. Recognition runs as a
// chain of utterances: a new one starts every 45 s, after each final result (when the speaker pauses) and
// after each error, with a back-off. Text goes to onHeard, one-line states to onStatus, both on the main
// thread. Always on this computer: there is no server mode.
//
// Threading: the public calls return at once from any thread; all state below `flag_`'s field is confined
// to `queue_`. onHeard and onStatus are set and called on the main thread.
class SpeechFollowHub final : public SpeechBusySink, public SpeechAudioSink {
public:
    enum class Source { none, engine, recorder };
    // The general English model's share next to the script's model. None: mixed in at 0.1 the spoken
    // script is followed just as well, but decoding over its 130,000 words runs about twenty times slower.
    static constexpr double defaultGeneralModelWeight = 0.0;

    struct Services {
        std::unique_ptr<SpeechRecognizer> recognizer;
        std::unique_ptr<AudioCapture> microphone;
        std::unique_ptr<MonotonicTimer> timer;
        AccessProbe* access = nullptr; // none: the microphone counts as allowed
        double generalModelWeight = defaultGeneralModelWeight;
    };

    static constexpr int contextualLimit = 100;
    static constexpr double rotationSeconds = 45.0;
    static constexpr double finalRestartSeconds = 0.1;
    static constexpr double recorderSilenceSeconds = 1.0;
    static constexpr int errorsLoggedInFull = 10;
    static constexpr int errorLogInterval = 30;
    // min(n / 4, 2) s after the n-th error in a row; 0.1 s when a result came last.
    static double restartDelay(int consecutiveErrors);
    static bool logsError(int consecutiveErrors);

    explicit SpeechFollowHub(Services services);
    ~SpeechFollowHub() override;
    SpeechFollowHub(const SpeechFollowHub&) = delete;
    SpeechFollowHub& operator=(const SpeechFollowHub&) = delete;

    // Switches following on or off; the model is built from the script text and the contextual words at
    // the next utterance.
    void setWanted(bool wanted, const QStringList& words, const QString& scriptText);
    void setBusy(bool busy) override;
    // A recorder's microphone block (any rate and channel count). While following is off this is one
    // locked read of a flag: nothing is allocated or dispatched.
    void feed(const MediaSample& block) override;

    std::function<void(const QString&)> onHeard;
    std::function<void(const QString&)> onStatus;

    // Returns once everything dispatched so far has run (tests and shutdown).
    void waitUntilIdle();
    // Work items handed to the queue so far.
    std::uint64_t dispatchCount() const { return dispatches_.load(); }

private:
    void post(std::function<void()> work);
    void beginIfPossible();
    void startEngineIfIdle();
    void stopEngine();
    void restartRequest();
    void scheduleRotation();
    void scheduleRestart(double delay);
    void shutdown(const QString& text);
    void status(const QString& text);
    void recorderBlock(const MediaSample& block);
    void watchRecorder();
    void append(const AudioBlock& block);
    void heard(const QString& text);
    void taskFailed(const QString& reason);
    void installModelIfChanged();

    std::unique_ptr<QObject> mainThreadContext_;
    std::unique_ptr<SpeechRecognizer> recognizer_;
    std::unique_ptr<AudioCapture> microphone_;
    std::unique_ptr<MonotonicTimer> timer_;
    AccessProbe* access_;
    const double generalModelWeight_;
    std::atomic<std::uint64_t> dispatches_{0};

    std::mutex flag_;
    bool wantedFlag_ = false;

    // Queue only.
    bool closing_ = false;
    bool wanted_ = false;
    bool busy_ = false;
    Source source_ = Source::none;
    bool utteranceOpen_ = false;
    int generation_ = 0;
    QStringList contextual_;
    QString scriptText_;
    QStringList installedContextual_;
    QString installedScriptText_;
    bool modelInstalled_ = false;
    int rotation_ = 0;
    int consecutiveErrors_ = 0;
    bool authorized_ = false;
    bool engineRunning_ = false;
    bool heardAny_ = false;
    QString lastHypothesis_;
    bool inSpeech_ = false;
    double lastRecorderBlock_ = 0;
    int recorderWatch_ = 0;
    SpeechSampleConverter converter_;
    std::vector<int16_t> samples_;

    DispatchQueue queue_{"com.quorrel.festrin.speechfollow"};
};
