#pragma once

#include "platform/audio/AudioCapture.h"
#include "platform/audio/AudioTimestamper.h"
#include "platform/audio/PulseConnection.h"
#include "platform/audio/PulseStreamHandle.h"
#include "platform/audio/SystemAudioMixer.h"

#include <pulse/context.h>
#include <pulse/introspect.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

// System audio without the studio's own sounds. Every other program playing on the output is recorded on
// its own, from a monitor stream of its sink input: the server gives it after the program's own volume and
// mute, as the user hears it (the output's own volume stays out, as it does from a hardware output's
// monitor). The programs are mixed onto the output's monitor, which is recorded too and keeps the track's
// cadence and clock: blocks of about 10 ms, silence when nothing plays, stamped as one continuous stream
// (AudioTimestamper). Programs that start or end during the take join or leave as the server announces
// them; a program that brings its sound with it may have its first block (about 10 ms) rendered before its
// own stream can be listened to; one that sends late (pipewire-pulse sends a program that starts while another
// plays in fits) is waited for, and a stop waits for what it still owes (SystemAudioMixer, at most 2 s). A
// server that refuses to record single programs gets the whole monitor,
// said once in the log. waitUntilFlowing() returns once the monitor's first block was read (or after three
// seconds, logged).
//
// The track is what the computer plays: when the recorded output is removed, or (recording the default
// output) another output becomes the default, the take goes on with the monitor and programs of the default
// output as it now is. The new monitor settles as a new stream does (AudioTimestamper::resettle), so its
// sound lands where it was heard. An output that was idle sends its monitor's first block seconds after the
// change: the time from the change to it (or to a stop before it) is filled as the new output's, with what
// the programs sent meanwhile. So that this rarely happens, every other output's monitor is listened to (and
// let go) from the start: an output someone listens to renders only as far ahead as the listener asks, so the
// programs moved onto it are heard from their first block, where one nobody listened to renders seconds of
// them at once, before anyone can. PulseAudio lets an output that sleeps sleep on; pipewire-pulse wakes it
// (see openStandby). A named output is kept while it exists. A change of an output or of the default
// also has the server asked where the programs play, then and twice shortly after: pipewire-pulse
// does not announce a program the session manager moves while it is recorded, and its recording follows it.
// Only a lost server reports a failure.
//
// Threading: start(), waitUntilFlowing() and stop() come from one caller thread at a time; a second stop()
// may come at once from another thread, and waits for the first. Every stream, subscription, introspection
// and client callback runs on the connection's mainloop thread (`pulse.system`; the programs' own clients
// share its mainloop), which alone touches the
// fields below `connection_` once start() returned, and alone changes the output; start(),
// waitUntilFlowing() and stop() touch them with the mainloop lock held. Blocks are handed to the handler on
// the mainloop thread.
class PulseSystemAudioCapture final : public AudioCapture {
public:
    // `outputName`: the sink whose programs are heard; empty: the default output.
    explicit PulseSystemAudioCapture(QString outputName = {});
    ~PulseSystemAudioCapture() override;
    PulseSystemAudioCapture(const PulseSystemAudioCapture&) = delete;
    PulseSystemAudioCapture& operator=(const PulseSystemAudioCapture&) = delete;

    std::optional<QString> start(const Request& request, BlockHandler onBlock, FailureHandler onFailure = {}) override;
    void waitUntilFlowing() override;
    void stop() override;
    QString sourceDescription() const override { return description_; }
    // False once the server refused single programs and the whole output is recorded.
    bool recordsSinglePrograms() const { return singlePrograms_; }

private:
    // One program's monitor stream, on a client of its own: pipewire-pulse (0.3.65) sends a client nothing of a
    // record stream while anything else waits to go out to it, so on a busy machine streams sharing a client
    // hold each other back, and a program's sound then comes in fits of a second or more, or only at the stop.
    struct Program {
        Program() = default;
        Program(const Program&) = delete;
        Program& operator=(const Program&) = delete;
        ~Program();
        PulseSystemAudioCapture* owner = nullptr;
        uint32_t sinkInput = PA_INVALID_INDEX;
        bool ready = false; // its stream opened once
        PulseClient client; // empty when it could not connect: the stream is on the capture's own client
        PulseStream stream;
    };
    // Another output's monitor stream, read and let go until that output is recorded.
    struct Standby {
        PulseSystemAudioCapture* owner = nullptr;
        uint32_t output = PA_INVALID_INDEX;
        PulseStream stream;
    };
    // Monitor frames held back for the programs' sound of the same moment.
    static constexpr int64_t holdMilliseconds = 30;
    static constexpr pa_usec_t firstBlockTimeoutMicroseconds = 3'000'000;
    // start() waits this long for the streams of the programs already playing, which connect on their own.
    static constexpr pa_usec_t programsOpenTimeoutMicroseconds = 1'000'000;
    // A new monitor whose first block comes this long after the switch had an idle output behind it.
    static constexpr int64_t lateFirstBlockNanoseconds = 300'000'000;
    static constexpr pa_usec_t recheckDelays[] = {100'000, 1'000'000};

    std::optional<QString> openOutput();
    // Connects the monitor of `monitorName_`; start() waits until it is ready, a change of output does not.
    std::optional<QString> connectMonitor();
    void watchMonitor(pa_stream* stream);
    // Opens a standby monitor on every output but the recorded one; `output`: only that one.
    void listenAhead(uint32_t output = PA_INVALID_INDEX);
    void openStandby(uint32_t output, const char* monitor);
    // Makes the standby monitor of `output` the recorded one, and the recorded one, while its output lives, a
    // standby; false when `output` had none ready.
    bool takeStandby(uint32_t output);
    // A standby's or awake_'s read callback: what it read is let go.
    static void discardReads(pa_stream* stream, size_t bytes, void* capture);
    void watchStandby(Standby& standby);
    void standbyStateChanged(Standby& standby);
    void watchPrograms();
    void serverEvent(pa_subscription_event_type_t type, uint32_t index);
    // Asks the server which output to record now; the answer switches to it when it is another one, or when
    // the monitor stream ended.
    void findOutput();
    // The same, asked on a new connection: pipewire-pulse keeps each connection's own idea of the default
    // output, and an existing one's may miss a change that came right after another (the fallback for an
    // output unplugged, then the one the desktop chose), where a new one has the server's current one.
    void askDefaultAfresh();
    static void lookUpOutput(pa_context* context, const char* name, void* capture);
    void outputFound(const pa_sink_info* sink); // null: there is no such output
    void switchTo(uint32_t output, const QString& monitor);
    void readMonitor();
    // The new output's time since the switch up to host time `until`, as silent monitor blocks.
    void fillSinceSwitch(int64_t until);
    void monitorStateChanged();
    void deliver(std::vector<SystemAudioMixer::Block> blocks);
    void deliver(AudioTimestamper::Fed& fed);
    static void programInfo(pa_context* context, const pa_sink_input_info* info, int eol, void* self);
    void programEvent(pa_subscription_event_type_t type, uint32_t sinkInput);
    void programFacts(const pa_sink_input_info& info);
    void follow(uint32_t sinkInput);
    static void programClientChanged(pa_context* context, void* program);
    // Opens the program's monitor stream on `context`; one that cannot be opened is left.
    void openProgramStream(uint32_t sinkInput, pa_context* context);
    bool programsOpening() const;
    // A client connected ahead, so that a program starting is listened to without waiting for a connection.
    void connectSpareClient();
    // Released on the mainloop's next turn: a client released from within its own stream's callback would
    // be freed under the library's feet.
    void retire(PulseClient client);
    void leave(uint32_t sinkInput);
    // Asks where the programs play now, and again after `recheckDelays` while the session manager may still be
    // moving them: those gone from the output are left, those on it followed.
    void askWherePrograms();
    void askWhereProgramsPlay();
    void recheckPrograms();
    void readProgram(Program& program);
    void programStateChanged(Program& program);
    void programRefused(uint32_t sinkInput, int error);
    void recordWholeOutput(const QString& reason);

    // Set by start() before it opens anything; the flags are read from any thread.
    const QString outputName_;
    const QString ownProcess_;
    int sampleRate_ = 48000;
    int channels_ = 2;
    BlockHandler onBlock_;
    FailureHandler onFailure_;
    QString description_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> singlePrograms_{true};

    std::mutex stopLock_; // one stop at a time
    std::unique_ptr<PulseConnection> connection_;
    // Mainloop thread, or the caller with the mainloop lock held.
    QString monitorName_;
    uint32_t outputIndex_ = PA_INVALID_INDEX;
    bool followsDefault_ = true; // false while a named output is recorded
    PulseStream monitor_;
    bool monitorOpened_ = false; // the monitor stream was ready once
    std::map<uint32_t, std::unique_ptr<Program>> programs_;
    PulseClient spareClient_;
    PulseClient defaultProbe_; // asking for the default output anew
    std::vector<PulseClient> retiredClients_;
    bool releaseScheduled_ = false;
    std::map<uint32_t, std::unique_ptr<Standby>> standby_; // by output
    // A standby taken as the monitor lets its output sleep once nothing plays there, which would end the track
    // before the stop: this listener, read and let go, keeps it awake as a monitor opened for it does.
    PulseStream awake_;
    std::set<uint32_t> askedWhere_; // programs refused on this output, whose place the server was asked
    std::unique_ptr<SystemAudioMixer> mixer_;
    std::unique_ptr<AudioTimestamper> timestamper_;
    bool firstBlockRead_ = false;
    // When the output changed, until its new monitor's first block (or the stop) filled the time since.
    std::optional<int64_t> switchedAt_;
    bool draining_ = false; // stopping: the programs' sound still owed is awaited, the monitor is not read on
    pa_time_event* recheck_ = nullptr; // freed by stop()
    size_t rechecksDone_ = 0;
};
