#include "capture/ScreenRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/system/HostClock.h"
#include "takedata/RecordingClock.h"
#include "takedata/SpeechAudioSink.h"
#include "support/FakeScreenCapture.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
constexpr int64_t millisecond = 1'000'000;

struct Interval {
    int64_t from = 0;
    int64_t to = 0;
};

// A microphone on a private source whose reading thread the test holds up: its handler sleeps, so nothing
// is read meanwhile, as when the studio is stopped. Remembers every block it hands on, with its arrival.
class HeldUpMicrophone final : public AudioCapture {
public:
    struct Delivered {
        int64_t arrival = 0;
        int64_t start = 0;
        int64_t end = 0;
    };

    explicit HeldUpMicrophone(QString source) : source_(std::move(source)) {}
    std::optional<QString> start(const Request& request, BlockHandler onBlock, FailureHandler onFailure) override
    {
        Request routed = request;
        routed.source = Source::named;
        routed.sourceName = source_;
        return capture_.start(
            routed,
            [this, onBlock = std::move(onBlock)](const MediaSample& block) {
                const int64_t start = block.presentationTime().valueIn(1'000'000'000).value_or(0);
                {
                    std::lock_guard guard(lock_);
                    delivered_.push_back({HostClock::nowNanoseconds(), start, start + block.audio->frameCount() * 1'000'000'000 / block.audio->sampleRate});
                }
                if (const int64_t hold = holdFor_.exchange(0)) {
                    const int64_t from = HostClock::nowNanoseconds();
                    if (whileHeld_)
                        whileHeld_(true);
                    std::this_thread::sleep_for(std::chrono::nanoseconds(hold));
                    if (whileHeld_)
                        whileHeld_(false);
                    std::lock_guard guard(lock_);
                    held_.push_back({from, HostClock::nowNanoseconds()});
                }
                onBlock(block);
            },
            std::move(onFailure));
    }
    void waitUntilFlowing() override { capture_.waitUntilFlowing(); }
    void stop() override { capture_.stop(); }
    QString sourceDescription() const override { return capture_.sourceDescription(); }

    // Holds the reads up for `nanoseconds` from the next block on and returns once they go on again;
    // `whileHeld` is told when the hold starts and ends.
    void holdUp(int64_t nanoseconds, std::function<void(bool)> whileHeld = {})
    {
        const size_t before = held().size();
        whileHeld_ = std::move(whileHeld);
        holdFor_ = nanoseconds;
        TestEnvironment::waitUntil([&] { return held().size() > before; }, static_cast<int>(nanoseconds / millisecond) + 5000);
    }
    std::vector<Delivered> delivered() const
    {
        std::lock_guard guard(lock_);
        return delivered_;
    }
    std::vector<Interval> held() const
    {
        std::lock_guard guard(lock_);
        return held_;
    }

private:
    QString source_;
    PulseAudioCapture capture_;
    std::atomic<int64_t> holdFor_{0};
    std::function<void(bool)> whileHeld_;
    mutable std::mutex lock_;
    std::vector<Delivered> delivered_;
    std::vector<Interval> held_;
};

// Voice follow: when each block reached it.
class ListeningVoiceFollow final : public SpeechAudioSink {
public:
    void feed(const MediaSample&) override
    {
        std::lock_guard guard(lock_);
        arrivals_.push_back(HostClock::nowNanoseconds());
    }
    std::vector<int64_t> arrivals() const
    {
        std::lock_guard guard(lock_);
        return arrivals_;
    }

private:
    mutable std::mutex lock_;
    std::vector<int64_t> arrivals_;
};

class MicrophoneHoldUp : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        sink = PrivateNullSink::load(QStringLiteral("held_up"), true);
        ASSERT_TRUE(sink);
    }

    // A screen recorder whose microphone opens ahead of the picture: its blocks reach voice follow, and the
    // take's blocks are what the microphone hands on.
    std::unique_ptr<ScreenRecorder> openMicrophone()
    {
        ScreenRecorder::Sources sources;
        sources.screen = std::make_unique<FakeScreenCapture>(std::make_shared<FakeScreenCapture::State>());
        auto held = std::make_unique<HeldUpMicrophone>(sink->microphone());
        microphone = held.get();
        sources.microphone = std::move(held);
        sources.speech = &voiceFollow;
        auto recorder = std::make_unique<ScreenRecorder>(clock, std::move(sources));
        ScreenRecorder::Options options;
        options.display = {1, QStringLiteral("fake"), QRect(0, 0, 320, 180), true};
        options.captureSystemAudio = false;
        if (recorder->openSound(options))
            return nullptr;
        return recorder;
    }

    // The earliest lag of the last second, once the microphone settled.
    double steadyLagMilliseconds()
    {
        std::this_thread::sleep_for(2500ms);
        const int64_t now = HostClock::nowNanoseconds();
        const std::optional<double> lag = earliestLagMilliseconds(now - 1'000 * millisecond, now);
        EXPECT_TRUE(lag);
        return lag.value_or(0);
    }

    // Once the microphone had time to settle after a hold-up, its blocks are stamped as before it: not after
    // they arrived (libpulse's interpolation may stand a few ms late for a while after a long stall), and no
    // earlier than before by more than one PipeWire period (21 ms) and a little.
    void expectInStep(double before)
    {
        std::this_thread::sleep_for(3s);
        const int64_t now = HostClock::nowNanoseconds();
        const std::optional<double> lag = earliestLagMilliseconds(now - 2'000 * millisecond, now);
        ASSERT_TRUE(lag) << readLog().toStdString();
        std::printf("the earliest block's end came %.1f ms before it arrived (%.1f ms before the hold-up)\n", *lag, before);
        EXPECT_GT(*lag, -10.0) << "stamped after it arrived\n" << readLog().toStdString();
        EXPECT_LT(*lag, before + 25.0) << "stamped too early\n" << readLog().toStdString();
    }

    // The longest voice follow went without a block, the hold-ups themselves not counted.
    double longestDeafSeconds(const std::vector<Interval>& holdUps) const
    {
        const std::vector<int64_t> arrivals = voiceFollow.arrivals();
        int64_t longest = 0;
        for (size_t i = 1; i < arrivals.size(); ++i) {
            int64_t gap = arrivals[i] - arrivals[i - 1];
            for (const Interval& held : holdUps)
                gap -= std::max<int64_t>(0, std::min(arrivals[i], held.to) - std::max(arrivals[i - 1], held.from));
            longest = std::max(longest, gap);
        }
        return static_cast<double>(longest) / 1e9;
    }

    // The earliest (arrival − end) of the take's blocks that arrived within [from, to): a block is never
    // received before it was recorded, and this source adds no latency of its own.
    std::optional<double> earliestLagMilliseconds(int64_t from, int64_t to) const
    {
        std::optional<int64_t> earliest;
        for (const HeldUpMicrophone::Delivered& block : microphone->delivered()) {
            if (block.arrival >= from && block.arrival < to)
                earliest = std::min(earliest.value_or(INT64_MAX), block.arrival - block.end);
        }
        if (!earliest)
            return std::nullopt;
        return static_cast<double>(*earliest) / millisecond;
    }

    // The largest step between one take block's end and the next one's start, in milliseconds.
    double largestStepMilliseconds() const
    {
        const std::vector<HeldUpMicrophone::Delivered> blocks = microphone->delivered();
        int64_t largest = 0;
        for (size_t i = 1; i < blocks.size(); ++i)
            largest = std::max<int64_t>(largest, std::llabs(blocks[i].start - blocks[i - 1].end));
        return static_cast<double>(largest) / millisecond;
    }

    std::unique_ptr<PrivateNullSink> sink;
    RecordingClock clock;
    ListeningVoiceFollow voiceFollow;
    HeldUpMicrophone* microphone = nullptr;
};

} // namespace

// The studio held up while the microphone records: voice follow hears what waited and what follows at
// once (held up 250 ms, as a loaded machine does routinely, 1 s and 10 s), while the take's sound stays
// where it was heard, one block after the other.
TEST_F(MicrophoneHoldUp, voiceFollowHearsTheMicrophoneAtOnceAfterAHoldUpWhileTheTakesVoiceStaysInStep)
{
    auto recorder = openMicrophone();
    ASSERT_TRUE(recorder);
    const double before = steadyLagMilliseconds();
    for (int64_t hold : {250 * millisecond, 1'000 * millisecond, 10'000 * millisecond}) {
        SCOPED_TRACE(testing::Message() << "held up " << hold / millisecond << " ms");
        microphone->holdUp(hold);
        expectInStep(before);
    }
    const double deaf = longestDeafSeconds(microphone->held());
    const double step = largestStepMilliseconds();
    recorder.reset();
    std::printf("voice follow went at most %.3f s without a block; the take's largest step %.1f ms\n", deaf, step);
    EXPECT_LT(deaf, 0.5) << readLog().toStdString();
    EXPECT_LT(step, 5.0) << "nothing was lost: one block after the other\n" << readLog().toStdString();
}

namespace {
// The process serving a unix socket, or 0.
pid_t serverOf(const QString& socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toUtf8();
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    pid_t pid = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0)
            pid = credentials.pid;
    }
    ::close(fd);
    return pid;
}

// The test session's sound server processes: PulseAudio, or PipeWire's with the PipeWire daemon behind it.
std::vector<pid_t> soundServerProcesses()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString pulseRuntime = qEnvironmentVariable("PULSE_RUNTIME_PATH", runtime + QStringLiteral("/pulse"));
    std::vector<pid_t> processes;
    for (const QString& socket : {pulseRuntime + QStringLiteral("/native"), runtime + QStringLiteral("/pipewire-0")}) {
        if (const pid_t pid = serverOf(socket); pid > 0 && pid != getpid() && std::find(processes.begin(), processes.end(), pid) == processes.end())
            processes.push_back(pid);
    }
    return processes;
}
}

// Sound the server did not keep through a stall (the reads stopped longer than it keeps, or the server was
// held up with them): libpulse's interpolated latency runs on through the stall and learns it over many
// seconds, so the microphone settles again on the server's own reports and its sound lands where it was
// heard.
TEST_F(MicrophoneHoldUp, aMicrophoneWhoseServerDidNotKeepTheSoundOfAStallSettlesAgainWhereItWasHeard)
{
    const std::vector<pid_t> servers = soundServerProcesses();
    ASSERT_FALSE(servers.empty()) << "the test session's sound server was not found";
    auto recorder = openMicrophone();
    ASSERT_TRUE(recorder);
    const double before = steadyLagMilliseconds();
    {
        SCOPED_TRACE("reads held up 15 s");
        microphone->holdUp(15'000 * millisecond);
        expectInStep(before);
    }
    {
        SCOPED_TRACE("the server held up with the reads 1 s");
        microphone->holdUp(1'000 * millisecond, [&](bool held) {
            for (pid_t server : servers)
                ::kill(server, held ? SIGSTOP : SIGCONT);
        });
        expectInStep(before);
    }
}
