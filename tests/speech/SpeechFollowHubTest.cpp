#include "support/FakeAccessProbe.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeSpeechRecognizer.h"
#include "support/ManualTimer.h"
#include "support/TestEnvironment.h"
#include "teleprompter/SpeechFollowHub.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdlib>
#include <new>

// Counts this thread's heap allocations while switched on.
namespace {
thread_local bool countingAllocations = false;
thread_local long allocations = 0;
} // namespace

void* operator new(std::size_t size)
{
    if (countingAllocations)
        ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

const QString listening = QStringLiteral("Listening (on this computer)");

class SpeechFollowHubTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        auto timer = std::make_unique<ManualTimer>();
        clock = timer.get();
        SpeechFollowHub::Services services;
        services.recognizer = std::make_unique<FakeSpeechRecognizer>(recognizer);
        services.microphone = std::make_unique<FakeAudioCapture>(microphone);
        services.timer = std::move(timer);
        services.access = &access;
        hub = std::make_unique<SpeechFollowHub>(std::move(services));
        clock->settle = [this] { hub->waitUntilIdle(); };
        hub->onStatus = [this](const QString& text) { statuses.append(text); };
        hub->onHeard = [this](const QString& text) { heard.append(text); };
    }
    void TearDown() override
    {
        hub.reset();
        SandboxTest::TearDown();
    }
    void settle()
    {
        hub->waitUntilIdle();
        QCoreApplication::processEvents();
    }
    void advance(double seconds)
    {
        clock->advance(seconds);
        settle();
    }
    void microphoneBlock()
    {
        FakeAudioCapture::push(*microphone, 0.0, 160);
        settle();
    }
    void recorderBlock()
    {
        auto block = std::make_shared<AudioBlock>();
        block->sampleRate = 48000;
        block->channels = 2;
        block->samples.assign(480 * 2, 0.1f);
        hub->feed(MediaSample::sound(std::move(block), MediaTime::fromSeconds(1)));
        settle();
    }
    void listen()
    {
        hub->setWanted(true, {QStringLiteral("Olvennar")}, QStringLiteral("We record a take today."));
        settle();
        ASSERT_TRUE(microphone->running);
        ASSERT_EQ(recognizer->utterancesStarted, 1);
    }
    int logged(const QString& text) const { return static_cast<int>(readLog().count(text)); }

    std::shared_ptr<FakeSpeechRecognizer::State> recognizer = std::make_shared<FakeSpeechRecognizer::State>();
    std::shared_ptr<FakeAudioCapture::State> microphone = std::make_shared<FakeAudioCapture::State>();
    FakeAccessProbe access;
    ManualTimer* clock = nullptr;
    std::unique_ptr<SpeechFollowHub> hub;
    QStringList statuses;
    QStringList heard;
};

TEST_F(SpeechFollowHubTest, IdleListeningUsesTheMicrophoneAndWordsTakeEffectAtTheNextUtterance)
{
    QStringList words;
    for (int i = 0; i < 150; ++i)
        words.append(QStringLiteral("word%1").arg(QChar(u'a' + i / 26)) + QChar(u'a' + i % 26));
    hub->setWanted(true, words, QString());
    settle();
    EXPECT_EQ(microphone->request.sampleRate, 16000);
    EXPECT_EQ(microphone->request.channels, 1);
    EXPECT_EQ(statuses, QStringList{listening});
    ASSERT_EQ(recognizer->models.size(), 1u);
    EXPECT_TRUE(recognizer->models[0].arpa.contains(" worddv\n")); // the 100th word
    EXPECT_FALSE(recognizer->models[0].arpa.contains(" worddw\n")); // the 101st

    microphoneBlock();
    EXPECT_EQ(recognizer->samplesThisUtterance, 160u);

    // A second switch-on while listening changes only the words.
    hub->setWanted(true, {QStringLiteral("Different")}, QStringLiteral("Another script."));
    settle();
    EXPECT_EQ(recognizer->utterancesStarted, 1);
    EXPECT_EQ(recognizer->models.size(), 1u);
    EXPECT_EQ(statuses.size(), 1);

    advance(SpeechFollowHub::rotationSeconds);
    EXPECT_EQ(recognizer->utterancesStarted, 2);
    ASSERT_EQ(recognizer->models.size(), 2u);
    EXPECT_TRUE(recognizer->models[1].arpa.contains(" different\n"));

    hub->setWanted(false, {}, QString());
    settle();
    EXPECT_FALSE(microphone->running);
    EXPECT_EQ(statuses.back(), QString());
    const int statusCount = static_cast<int>(statuses.size());
    hub->setWanted(false, {}, QString());
    advance(SpeechFollowHub::rotationSeconds * 2);
    EXPECT_EQ(statuses.size(), statusCount);
    EXPECT_EQ(recognizer->utterancesStarted, 2);
}

TEST_F(SpeechFollowHubTest, BusyOpensAnUtteranceWithoutSoundAndTheFirstRecorderBlockAnother)
{
    listen();
    hub->setBusy(false); // unchanged: nothing happens
    settle();
    EXPECT_EQ(recognizer->utterancesStarted, 1);
    EXPECT_TRUE(microphone->running);

    hub->setBusy(true);
    settle();
    EXPECT_FALSE(microphone->running);
    EXPECT_EQ(recognizer->utterancesStarted, 2);
    hub->setBusy(true);
    settle();
    EXPECT_EQ(recognizer->utterancesStarted, 2);

    recorderBlock();
    EXPECT_EQ(recognizer->utterancesStarted, 3);
    EXPECT_NEAR(double(recognizer->samplesThisUtterance), 160.0, 20.0); // 10 ms at 16 kHz
    recorderBlock();
    EXPECT_EQ(recognizer->utterancesStarted, 3);

    // Still busy after a long silence: no return to the microphone.
    advance(5.0);
    EXPECT_FALSE(microphone->running);

    hub->setBusy(false);
    settle();
    EXPECT_TRUE(microphone->running);
    EXPECT_EQ(recognizer->utterancesStarted, 4);
}

TEST_F(SpeechFollowHubTest, ResultsOfReplacedUtterancesAndTheirEndingErrorsAreIgnored)
{
    listen();
    // Partials hold back the word still being spoken.
    recognizer->hypothesis = QStringLiteral("we record");
    recognizer->inSpeech = true;
    microphoneBlock();
    recognizer->hypothesis = QStringLiteral("we record the");
    microphoneBlock();
    microphoneBlock(); // unchanged text is not sent again
    EXPECT_EQ(heard, (QStringList{QStringLiteral("we"), QStringLiteral("we record")}));

    recognizer->inSpeech = false;
    recognizer->hypothesis = QStringLiteral("we record a take");
    microphoneBlock();
    EXPECT_EQ(heard.back(), QStringLiteral("we record a take"));
    EXPECT_EQ(recognizer->utterancesStarted, 1);

    // Before the 0.1 s restart comes, a take begins: that restart belongs to a replaced utterance.
    hub->setBusy(true);
    settle();
    EXPECT_EQ(recognizer->utterancesStarted, 2);
    advance(SpeechFollowHub::finalRestartSeconds);
    EXPECT_EQ(recognizer->utterancesStarted, 2);

    // Ending a replaced utterance fails; its words and its error never count.
    recognizer->hypothesis = QStringLiteral("stale words");
    recognizer->failEnd = true;
    hub->setBusy(false);
    settle();
    EXPECT_EQ(recognizer->utterancesStarted, 3);
    EXPECT_FALSE(heard.contains(QStringLiteral("stale words")));
    EXPECT_EQ(logged(QStringLiteral("recognition ended")), 0);
}

TEST_F(SpeechFollowHubTest, ErrorsBackOffAQuarterSecondEachUpToTwoAndAResultResets)
{
    listen();
    recognizer->failProcess = true;
    const double expected[] = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 1.75, 2.0, 2.0};
    for (double delay : expected) {
        const int started = recognizer->utterancesStarted;
        microphoneBlock();
        advance(delay - 0.01);
        EXPECT_EQ(recognizer->utterancesStarted, started) << delay;
        advance(0.01);
        EXPECT_EQ(recognizer->utterancesStarted, started + 1) << delay;
    }
    // Past ten errors in a row only every 30th is logged.
    for (int error = 10; error <= 61; ++error) {
        microphoneBlock();
        advance(2.0);
    }
    EXPECT_EQ(logged(QStringLiteral("follow: recognition ended (")), 12);
    EXPECT_EQ(logged(QStringLiteral("follow: recognition ended (60): the fake decoder gave up")), 1);

    recognizer->failProcess = false;
    recognizer->hypothesis = QStringLiteral("hello there");
    recognizer->inSpeech = true;
    microphoneBlock();
    recognizer->inSpeech = false;
    microphoneBlock();
    const int started = recognizer->utterancesStarted;
    advance(SpeechFollowHub::finalRestartSeconds);
    EXPECT_EQ(recognizer->utterancesStarted, started + 1);
    EXPECT_EQ(logged(QStringLiteral("follow: first words heard (on this computer)")), 1);
}

TEST_F(SpeechFollowHubTest, ARecorderFeedingWhileIdleGivesBackTheMicrophoneAfterASecondOfSilence)
{
    listen();
    recorderBlock();
    EXPECT_FALSE(microphone->running);
    EXPECT_EQ(recognizer->utterancesStarted, 2);
    advance(0.5);
    recorderBlock();
    advance(0.9);
    EXPECT_FALSE(microphone->running);
    advance(0.2);
    EXPECT_TRUE(microphone->running);
    EXPECT_EQ(recognizer->utterancesStarted, 3);
    EXPECT_EQ(logged(QStringLiteral("follow: the recorder's sound stopped")), 1);
    advance(5.0);
    EXPECT_EQ(logged(QStringLiteral("follow: the recorder's sound stopped")), 1);
}

TEST_F(SpeechFollowHubTest, WithoutTheModelNothingListensAndFedBlocksAreDropped)
{
    recognizer->installed = false;
    hub->setWanted(true, {}, QStringLiteral("Hello there."));
    settle();
    EXPECT_EQ(statuses, QStringList{QStringLiteral("Speech recognition is not available: the speech model is not installed.")});
    recorderBlock();
    advance(SpeechFollowHub::rotationSeconds);
    EXPECT_EQ(recognizer->utterancesStarted, 0);
    EXPECT_FALSE(microphone->running);
}

TEST_F(SpeechFollowHubTest, MicrophoneRefusalsGiveTheirStatus)
{
    access.microphoneState = Permissions::State::denied;
    hub->setWanted(true, {}, QStringLiteral("Hello there."));
    settle();
    EXPECT_EQ(statuses.back(), QStringLiteral("Microphone not allowed for Olvennar."));

    access.microphoneState = Permissions::State::granted;
    microphone->startError = QStringLiteral("no such source");
    hub->setWanted(true, {}, QStringLiteral("Hello there."));
    settle();
    EXPECT_EQ(statuses.back(), QStringLiteral("Could not start the microphone: no such source"));
    EXPECT_EQ(recognizer->utterancesStarted, 0);
}

TEST_F(SpeechFollowHubTest, FeedingWhileOffNeitherDispatchesNorAllocates)
{
    auto block = std::make_shared<AudioBlock>();
    block->samples.assign(960, 0.0f);
    const MediaSample sample = MediaSample::sound(block, MediaTime::fromSeconds(1));
    const auto dispatched = hub->dispatchCount();
    countingAllocations = true;
    for (int i = 0; i < 10000; ++i)
        hub->feed(sample);
    countingAllocations = false;
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(hub->dispatchCount(), dispatched);
}

} // namespace
