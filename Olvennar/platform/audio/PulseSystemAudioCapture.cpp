#include "platform/audio/PulseSystemAudioCapture.h"

#include "platform/audio/PulseAudioCatalog.h"
#include "platform/audio/PulseConnection.h"
#include "platform/audio/PulseRecordBlocks.h"
#include "platform/audio/SystemAudioPrograms.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/system/HostClock.h"

#include <pulse/error.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr auto recordFlags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);

QString serverError(pa_context* context) { return QString::fromUtf8(pa_strerror(pa_context_errno(context))); }

} // namespace

PulseSystemAudioCapture::PulseSystemAudioCapture(QString outputName)
    : outputName_(std::move(outputName))
    , ownProcess_(QString::number(getpid()))
{
}

PulseSystemAudioCapture::~PulseSystemAudioCapture() { stop(); }

PulseSystemAudioCapture::Program::~Program()
{
    stream.reset();
    if (client)
        owner->retire(std::move(client));
}

void PulseSystemAudioCapture::retire(PulseClient client)
{
    retiredClients_.push_back(std::move(client));
    if (std::exchange(releaseScheduled_, true))
        return;
    pa_mainloop_api_once(
        pa_threaded_mainloop_get_api(connection_->mainloop()),
        [](pa_mainloop_api*, void* self) {
            auto* capture = static_cast<PulseSystemAudioCapture*>(self);
            capture->releaseScheduled_ = false;
            capture->retiredClients_.clear();
        },
        this);
}

std::optional<QString> PulseSystemAudioCapture::start(const Request& request, BlockHandler onBlock, FailureHandler onFailure)
{
    stop();
    stopping_ = false;
    singlePrograms_ = true;
    firstBlockRead_ = false;
    switchedAt_.reset();
    followsDefault_ = outputName_.isEmpty();
    sampleRate_ = request.sampleRate > 0 ? request.sampleRate : 48000;
    channels_ = request.channels > 0 ? request.channels : 2;
    onBlock_ = std::move(onBlock);
    onFailure_ = std::move(onFailure);
    connection_ = PulseConnection::open(Edition::appName(), "pulse.system");
    if (!connection_)
        return QStringLiteral("the sound server could not be reached");
    PulseConnection::Lock lock(*connection_);
    timestamper_ = std::make_unique<AudioTimestamper>(sampleRate_, channels_);
    mixer_ = std::make_unique<SystemAudioMixer>(sampleRate_, channels_, sampleRate_ * holdMilliseconds / 1000);
    draining_ = false;
    releaseScheduled_ = false;
    programs_.clear();
    standby_.clear();
    askedWhere_.clear();
    if (auto error = openOutput())
        return error;
    // Programs already playing are followed before the monitor opens, so they sound from its first block.
    watchPrograms();
    connection_->waitUntil([this] { return !programsOpening(); }, programsOpenTimeoutMicroseconds);
    if (auto error = connectMonitor())
        return error;
    if (!connection_->waitUntilReady(monitor_.get()))
        return QStringLiteral("the sound source %1 could not be opened: %2").arg(monitorName_, serverError(connection_->context()));
    running_ = true;
    connectSpareClient();
    listenAhead();
    // A change of output while it opened was not followed yet.
    findOutput();
    return std::nullopt;
}

std::optional<QString> PulseSystemAudioCapture::openOutput()
{
    const auto state = PulseAudioCatalog::query(*connection_);
    if (!state)
        return QStringLiteral("the sound server did not list its sources");
    const QString output = outputName_.isEmpty() ? state->defaultSink : outputName_;
    struct Found {
        const PulseConnection* connection = nullptr;
        uint32_t index = PA_INVALID_INDEX;
        QString monitor;
    } found;
    found.connection = connection_.get();
    connection_->wait(pa_context_get_sink_info_by_name(
        connection_->context(), output.toUtf8().constData(),
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* sink = static_cast<Found*>(data);
            if (eol == 0 && info) {
                sink->index = info->index;
                sink->monitor = QString::fromUtf8(info->monitor_source_name);
            }
            sink->connection->signal();
        },
        &found));
    if (found.index == PA_INVALID_INDEX)
        return QStringLiteral("the sound source %1 is not available").arg(output.isEmpty() ? QStringLiteral("(default)") : output + QStringLiteral(".monitor"));
    outputIndex_ = found.index;
    monitorName_ = found.monitor;
    description_ = monitorName_;
    for (const AudioDeviceInfo& source : state->sources) {
        if (source.name == monitorName_)
            description_ = source.description;
    }
    return std::nullopt;
}

std::optional<QString> PulseSystemAudioCapture::connectMonitor()
{
    monitorOpened_ = false;
    monitor_ = newFloatStream(connection_->context(), "system audio", sampleRate_, channels_);
    if (!monitor_)
        return QStringLiteral("the sound stream could not be created");
    pa_stream* stream = monitor_.get();
    watchMonitor(stream);
    const pa_buffer_attr attributes = PulseRecordBlocks::attributes(*pa_stream_get_sample_spec(stream));
    // Never moved: when its output goes, the server would move it onto the default source, a microphone.
    // It ends instead, and the capture turns to the output that plays now.
    const auto flags = static_cast<pa_stream_flags_t>(recordFlags | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream, monitorName_.toUtf8().constData(), &attributes, flags) < 0)
        return QStringLiteral("the sound source %1 could not be opened: %2").arg(monitorName_, serverError(connection_->context()));
    return std::nullopt;
}

void PulseSystemAudioCapture::watchMonitor(pa_stream* stream)
{
    pa_stream_set_state_callback(stream, [](pa_stream*, void* self) { static_cast<PulseSystemAudioCapture*>(self)->monitorStateChanged(); }, this);
    pa_stream_set_read_callback(stream, [](pa_stream*, size_t, void* self) { static_cast<PulseSystemAudioCapture*>(self)->readMonitor(); }, this);
    pa_stream_set_overflow_callback(
        stream,
        [](pa_stream*, void* self) {
            // The server threw away sound this client did not read in time: start again from the clock.
            auto* capture = static_cast<PulseSystemAudioCapture*>(self);
            capture->mixer_->monitorOverflowed();
            Diagnostics::log(QStringLiteral("%1: the sound server dropped sound that was not read in time").arg(capture->monitorName_));
        },
        this);
}

void PulseSystemAudioCapture::listenAhead(uint32_t output)
{
    const auto found = [](pa_context*, const pa_sink_info* sink, int eol, void* self) {
        auto* capture = static_cast<PulseSystemAudioCapture*>(self);
        if (eol == 0 && sink && !capture->stopping_)
            capture->openStandby(sink->index, sink->monitor_source_name);
    };
    pa_operation* operation = output == PA_INVALID_INDEX ? pa_context_get_sink_info_list(connection_->context(), found, this)
                                                         : pa_context_get_sink_info_by_index(connection_->context(), output, found, this);
    if (operation)
        pa_operation_unref(operation);
}

void PulseSystemAudioCapture::openStandby(uint32_t output, const char* monitor)
{
    if (output == outputIndex_ || standby_.count(output) > 0 || !monitor)
        return;
    auto standby = std::make_unique<Standby>();
    standby->owner = this;
    standby->output = output;
    standby->stream = newFloatStream(connection_->context(), "system audio, another output", sampleRate_, channels_);
    if (!standby->stream)
        return;
    pa_stream* stream = standby->stream.get();
    watchStandby(*standby);
    const pa_buffer_attr attributes = PulseRecordBlocks::attributes(*pa_stream_get_sample_spec(stream));
    // Listening need not wake an output that sleeps: one woken by a program comes with its listener in place.
    // pipewire-pulse (0.3.65) wakes it all the same; a passive listener there (node.passive) would not, but its
    // first blocks after the wake come tens of milliseconds later than their sound, and are placed so.
    const auto flags = static_cast<pa_stream_flags_t>(recordFlags | PA_STREAM_DONT_MOVE | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
    if (pa_stream_connect_record(stream, monitor, &attributes, flags) < 0)
        return; // that output is then opened when it is recorded, as without
    standby_[output] = std::move(standby);
}

void PulseSystemAudioCapture::discardReads(pa_stream* stream, size_t, void* capture)
{
    PulseRecordBlocks::readEvery(stream, static_cast<PulseSystemAudioCapture*>(capture)->channels_, [](const PulseRecordBlocks::Block&) {});
}

void PulseSystemAudioCapture::watchStandby(Standby& standby)
{
    pa_stream* stream = standby.stream.get();
    pa_stream_set_state_callback(stream, [](pa_stream*, void* data) { static_cast<Standby*>(data)->owner->standbyStateChanged(*static_cast<Standby*>(data)); }, &standby);
    pa_stream_set_read_callback(stream, discardReads, this);
}

void PulseSystemAudioCapture::standbyStateChanged(Standby& standby)
{
    const pa_stream_state_t state = pa_stream_get_state(standby.stream.get());
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        standby_.erase(standby.output); // its output is gone; `standby` with it
}

bool PulseSystemAudioCapture::takeStandby(uint32_t output)
{
    const auto found = standby_.find(output);
    if (found == standby_.end() || pa_stream_get_state(found->second->stream.get()) != PA_STREAM_READY)
        return false;
    PulseStream taken = std::move(found->second->stream);
    standby_.erase(found);
    // What the monitor still holds belongs to the output it listened to: it is let go with the standby's.
    if (monitor_ && pa_stream_get_state(monitor_.get()) == PA_STREAM_READY) {
        auto previous = std::make_unique<Standby>();
        previous->owner = this;
        previous->output = outputIndex_;
        previous->stream = std::move(monitor_);
        pa_stream_set_overflow_callback(previous->stream.get(), nullptr, nullptr);
        watchStandby(*previous);
        standby_[outputIndex_] = std::move(previous);
    }
    monitor_ = std::move(taken);
    monitorOpened_ = true;
    watchMonitor(monitor_.get());
    awake_ = newFloatStream(connection_->context(), "system audio, keeping the output awake", sampleRate_, channels_);
    if (awake_) {
        pa_stream_set_read_callback(awake_.get(), discardReads, this);
        const pa_buffer_attr attributes = PulseRecordBlocks::attributes(*pa_stream_get_sample_spec(awake_.get()));
        const auto flags = static_cast<pa_stream_flags_t>(recordFlags | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(awake_.get(), pa_stream_get_device_name(monitor_.get()), &attributes, flags) < 0)
            awake_.reset();
    }
    return true;
}

void PulseSystemAudioCapture::watchPrograms()
{
    pa_context* context = connection_->context();
    pa_context_set_subscribe_callback(
        context,
        [](pa_context*, pa_subscription_event_type_t type, uint32_t index, void* self) {
            static_cast<PulseSystemAudioCapture*>(self)->serverEvent(type, index);
        },
        this);
    // Subscribed before the list is asked for, so a program starting in between is not missed. Outputs
    // going and the server's default output changing are followed too.
    const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
    pa_operation* subscribed = pa_context_subscribe(
        context, mask,
        [](pa_context* subscribing, int success, void* self) {
            if (!success)
                static_cast<PulseSystemAudioCapture*>(self)->recordWholeOutput(QStringLiteral("the sound server does not announce its programs (%1)").arg(serverError(subscribing)));
        },
        this);
    if (subscribed)
        pa_operation_unref(subscribed);
    if (!subscribed || !connection_->wait(pa_context_get_sink_input_info_list(context, programInfo, this)))
        recordWholeOutput(QStringLiteral("the sound server does not list its programs (%1)").arg(serverError(context)));
}

void PulseSystemAudioCapture::programInfo(pa_context*, const pa_sink_input_info* info, int eol, void* self)
{
    auto* capture = static_cast<PulseSystemAudioCapture*>(self);
    if (eol == 0 && info)
        capture->programFacts(*info);
    else if (!capture->stopping_) // one asked for at a change of output may end after a stop
        capture->connection_->signal(); // the list start() waits for is complete
}

void PulseSystemAudioCapture::serverEvent(pa_subscription_event_type_t type, uint32_t index)
{
    if (stopping_)
        return;
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
        programEvent(type, index);
        return;
    }
    // Until start() returned, the output it opens is the one recorded; it looks once more at its end.
    if (!running_)
        return;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK && (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE && index == outputIndex_)
        findOutput();
    else if (facility == PA_SUBSCRIPTION_EVENT_SINK && (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_NEW)
        listenAhead(index); // a projector or headset plugged in: programs may be moved to it next
    else if (facility == PA_SUBSCRIPTION_EVENT_SERVER && followsDefault_)
        findOutput(); // perhaps another default output
    // Programs may move with an output's change or the default's, unannounced on pipewire-pulse. Recording the
    // default output, a new default is switched to with its programs, and nothing should hold up the switch.
    if (facility == PA_SUBSCRIPTION_EVENT_SINK || (facility == PA_SUBSCRIPTION_EVENT_SERVER && !followsDefault_))
        askWherePrograms();
}

void PulseSystemAudioCapture::askWherePrograms()
{
    if (!singlePrograms_)
        return;
    askWhereProgramsPlay();
    rechecksDone_ = 0;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(connection_->mainloop());
    timeval due{};
    pa_timeval_add(pa_gettimeofday(&due), recheckDelays[0]);
    if (recheck_) {
        api->time_restart(recheck_, &due);
        return;
    }
    recheck_ = api->time_new(
        api, &due, [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) { static_cast<PulseSystemAudioCapture*>(self)->recheckPrograms(); },
        this);
}

void PulseSystemAudioCapture::askWhereProgramsPlay()
{
    // The whole list: a program the session manager moved away for a moment may be back, unannounced too.
    if (pa_operation* listed = pa_context_get_sink_input_info_list(connection_->context(), programInfo, this))
        pa_operation_unref(listed);
}

void PulseSystemAudioCapture::recheckPrograms()
{
    if (stopping_)
        return;
    if (followsDefault_)
        askDefaultAfresh();
    if (!singlePrograms_)
        return;
    askWhereProgramsPlay();
    if (++rechecksDone_ >= std::size(recheckDelays))
        return; // done until the next change restarts it
    timeval due{};
    pa_timeval_add(pa_gettimeofday(&due), recheckDelays[rechecksDone_] - recheckDelays[rechecksDone_ - 1]);
    pa_threaded_mainloop_get_api(connection_->mainloop())->time_restart(recheck_, &due);
}

void PulseSystemAudioCapture::askDefaultAfresh()
{
    if (defaultProbe_)
        return; // asking already
    defaultProbe_ = connection_->connectClient(
        Edition::appName().toUtf8().constData(),
        [](pa_context* probe, void* self) {
            auto* capture = static_cast<PulseSystemAudioCapture*>(self);
            if (capture->defaultProbe_.get() != probe)
                return; // let go already
            const pa_context_state_t state = pa_context_get_state(probe);
            if (state == PA_CONTEXT_READY && !capture->stopping_) {
                pa_operation* asked = pa_context_get_server_info(
                    probe,
                    [](pa_context*, const pa_server_info* server, void* data) {
                        auto* asking = static_cast<PulseSystemAudioCapture*>(data);
                        if (!asking->stopping_ && asking->followsDefault_ && server && server->default_sink_name && *server->default_sink_name)
                            lookUpOutput(asking->connection_->context(), server->default_sink_name, asking);
                        asking->retire(std::move(asking->defaultProbe_));
                    },
                    capture);
                if (asked) {
                    pa_operation_unref(asked);
                    return;
                }
            } else if (PA_CONTEXT_IS_GOOD(state)) {
                return; // still connecting
            }
            capture->retire(std::move(capture->defaultProbe_)); // not asked: the next change asks again
        },
        this);
}

void PulseSystemAudioCapture::lookUpOutput(pa_context* context, const char* name, void* capture)
{
    pa_operation* operation = pa_context_get_sink_info_by_name(
        context, name,
        [](pa_context*, const pa_sink_info* sink, int eol, void* self) {
            if (eol == 0 && sink)
                static_cast<PulseSystemAudioCapture*>(self)->outputFound(sink);
            else if (eol < 0)
                static_cast<PulseSystemAudioCapture*>(self)->outputFound(nullptr);
        },
        capture);
    if (operation)
        pa_operation_unref(operation);
}

void PulseSystemAudioCapture::findOutput()
{
    if (!followsDefault_) {
        lookUpOutput(connection_->context(), outputName_.toUtf8().constData(), this);
        return;
    }
    pa_operation* operation = pa_context_get_server_info(
        connection_->context(),
        [](pa_context* context, const pa_server_info* server, void* self) {
            // Without a default output there is nothing to record until the server names one.
            if (!static_cast<PulseSystemAudioCapture*>(self)->stopping_ && server && server->default_sink_name && *server->default_sink_name)
                lookUpOutput(context, server->default_sink_name, self);
        },
        this);
    if (operation)
        pa_operation_unref(operation);
}

void PulseSystemAudioCapture::outputFound(const pa_sink_info* sink)
{
    if (stopping_)
        return;
    if (!sink) {
        if (followsDefault_)
            return; // gone again since the server named it: its removal asks once more
        Diagnostics::log(QStringLiteral("system audio: the output %1 is gone; the default output is recorded from now on").arg(outputName_));
        followsDefault_ = true;
        findOutput();
        return;
    }
    if (sink->index == outputIndex_ && monitor_ && PA_STREAM_IS_GOOD(pa_stream_get_state(monitor_.get())))
        return;
    switchTo(sink->index, QString::fromUtf8(sink->monitor_source_name));
}

void PulseSystemAudioCapture::switchTo(uint32_t output, const QString& monitor)
{
    // What the old output still holds belongs to the take, placed by that stream's own readings.
    if (switchedAt_)
        fillSinceSwitch(HostClock::nowNanoseconds()); // it changed again before its monitor sent anything
    deliver(mixer_->flush());
    AudioTimestamper::Fed rest = timestamper_->flush();
    deliver(rest);
    programs_.clear();
    askedWhere_.clear();
    awake_.reset();
    if (monitor == monitorName_) {
        monitor_.reset();
        Diagnostics::log(QStringLiteral("system audio: opening %1 again").arg(monitor));
    } else {
        Diagnostics::log(QStringLiteral("system audio: the output changed from %1 to %2; recording it from now on").arg(monitorName_, monitor));
    }
    // Listened to already, its next block is the first of the sound played there.
    const bool listened = takeStandby(output);
    outputIndex_ = output;
    monitorName_ = monitor;
    // The programs go on at once on the new output, but a monitor opened only now may send its first block
    // seconds later (an output nobody listened to renders its whole buffer at once): the time from here to
    // that block is the new output's, filled by what the programs sent meanwhile.
    switchedAt_ = HostClock::nowNanoseconds();
    // A new stream: its first block comes after a gap and settles at a latency of its own, and the mixer's
    // programs and readings belong to the old output.
    timestamper_->resettle(QStringLiteral("opening ") + monitorName_);
    mixer_ = std::make_unique<SystemAudioMixer>(sampleRate_, channels_, sampleRate_ * holdMilliseconds / 1000);
    // The session manager may move the programs onto the new output only after it became the default.
    if (!singlePrograms_)
        mixer_->mixWholeMonitor();
    else
        askWherePrograms();
    if (listened)
        return;
    if (auto error = connectMonitor())
        Diagnostics::log(QStringLiteral("system audio: ") + *error);
}

void PulseSystemAudioCapture::programEvent(pa_subscription_event_type_t type, uint32_t sinkInput)
{
    if (!singlePrograms_)
        return;
    if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
        leave(sinkInput);
        return;
    }
    // A new program, or one that changed: where it plays now, and for whom.
    if (pa_operation* operation = pa_context_get_sink_input_info(connection_->context(), sinkInput, programInfo, this))
        pa_operation_unref(operation);
}

void PulseSystemAudioCapture::programFacts(const pa_sink_input_info& info)
{
    if (stopping_ || !singlePrograms_)
        return;
    const char* process = pa_proplist_gets(info.proplist, PA_PROP_APPLICATION_PROCESS_ID);
    const auto action = SystemAudioPrograms::actionFor(
        programs_.count(info.index) > 0, info.sink, process ? QString::fromUtf8(process) : QString(), outputIndex_, ownProcess_);
    if (action == SystemAudioPrograms::Action::leave) {
        leave(info.index);
    } else if (action == SystemAudioPrograms::Action::follow) {
        const char* name = pa_proplist_gets(info.proplist, PA_PROP_APPLICATION_NAME);
        Diagnostics::log(QStringLiteral("system audio: recording \"%1\" (stream %2)").arg(QString::fromUtf8(name ? name : info.name)).arg(info.index));
        follow(info.index);
    }
}

void PulseSystemAudioCapture::follow(uint32_t sinkInput)
{
    auto added = std::make_unique<Program>();
    Program& program = *added;
    program.owner = this;
    program.sinkInput = sinkInput;
    programs_[sinkInput] = std::move(added);
    mixer_->addProgram(sinkInput);
    if (spareClient_ && pa_context_get_state(spareClient_.get()) == PA_CONTEXT_READY) {
        program.client = std::move(spareClient_);
        pa_context_set_state_callback(program.client.get(), programClientChanged, &program);
        connectSpareClient();
        openProgramStream(sinkInput, program.client.get());
        return;
    }
    program.client = connection_->connectClient(Edition::appName().toUtf8().constData(), programClientChanged, &program);
    if (!program.client)
        openProgramStream(sinkInput, connection_->context());
}

void PulseSystemAudioCapture::programClientChanged(pa_context* context, void* data)
{
    auto& program = *static_cast<Program*>(data);
    PulseSystemAudioCapture* capture = program.owner;
    capture->connection_->signal();
    const pa_context_state_t state = pa_context_get_state(context);
    if (program.stream || capture->stopping_)
        return; // a client lost later ends its stream, and the program is left then
    if (state == PA_CONTEXT_READY) {
        capture->openProgramStream(program.sinkInput, context);
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        capture->retire(std::move(program.client));
        capture->openProgramStream(program.sinkInput, capture->connection_->context());
    }
}

void PulseSystemAudioCapture::connectSpareClient()
{
    spareClient_ = connection_->connectClient(
        Edition::appName().toUtf8().constData(),
        [](pa_context* context, void* self) {
            auto* capture = static_cast<PulseSystemAudioCapture*>(self);
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) && capture->spareClient_.get() == context)
                capture->retire(std::move(capture->spareClient_)); // programs then connect their own
        },
        this);
}

bool PulseSystemAudioCapture::programsOpening() const
{
    return std::any_of(programs_.begin(), programs_.end(), [](const auto& entry) {
        pa_stream* stream = entry.second->stream.get();
        return !stream || pa_stream_get_state(stream) == PA_STREAM_CREATING;
    });
}

void PulseSystemAudioCapture::openProgramStream(uint32_t sinkInput, pa_context* context)
{
    Program& program = *programs_.at(sinkInput);
    program.stream = newFloatStream(context, "system audio program", sampleRate_, channels_);
    if (!program.stream) {
        leave(sinkInput);
        return;
    }
    pa_stream* stream = program.stream.get();
    if (const int refused = pa_stream_set_monitor_stream(stream, sinkInput); refused < 0) {
        leave(sinkInput);
        recordWholeOutput(QStringLiteral("the sound server cannot record single programs (%1)").arg(QString::fromUtf8(pa_strerror(-refused))));
        return;
    }
    pa_stream_set_state_callback(stream, [](pa_stream*, void* data) { static_cast<Program*>(data)->owner->programStateChanged(*static_cast<Program*>(data)); }, &program);
    pa_stream_set_read_callback(stream, [](pa_stream*, size_t, void* data) { static_cast<Program*>(data)->owner->readProgram(*static_cast<Program*>(data)); }, &program);
    pa_stream_set_overflow_callback(
        stream,
        [](pa_stream*, void* data) {
            const auto* dropped = static_cast<Program*>(data);
            dropped->owner->mixer_->programOverflowed(dropped->sinkInput);
            Diagnostics::log(QStringLiteral("system audio: the sound server dropped sound of stream %1 that was not read in time").arg(dropped->sinkInput));
        },
        &program);
    const pa_buffer_attr attributes = PulseRecordBlocks::attributes(*pa_stream_get_sample_spec(stream));
    if (pa_stream_connect_record(stream, monitorName_.toUtf8().constData(), &attributes, recordFlags) < 0) {
        const int error = pa_context_errno(context);
        leave(sinkInput);
        programRefused(sinkInput, error);
    }
}

void PulseSystemAudioCapture::leave(uint32_t sinkInput)
{
    // What it sent before it ended is its sound still: a server that sends in fits may have sent a fit not
    // read yet.
    if (const auto program = programs_.find(sinkInput); program != programs_.end() && program->second->stream
        && pa_stream_get_state(program->second->stream.get()) == PA_STREAM_READY)
        readProgram(*program->second);
    mixer_->endProgram(sinkInput);
    programs_.erase(sinkInput);
    if (draining_)
        connection_->signal();
}

void PulseSystemAudioCapture::programStateChanged(Program& program)
{
    connection_->signal(); // start() may wait for it
    const pa_stream_state_t state = pa_stream_get_state(program.stream.get());
    if (state == PA_STREAM_READY) {
        program.ready = true;
        return;
    }
    if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED)
        return;
    // The program ended or moved away (the server ends its stream), or the server would not open it.
    const uint32_t sinkInput = program.sinkInput;
    const bool opened = program.ready;
    const int error = pa_context_errno(pa_stream_get_context(program.stream.get()));
    leave(sinkInput); // `program` is gone from here on
    if (!opened && state == PA_STREAM_FAILED)
        programRefused(sinkInput, error);
}

void PulseSystemAudioCapture::programRefused(uint32_t sinkInput, int error)
{
    if (error != PA_ERR_INVALID) {
        if (SystemAudioPrograms::refusesSinglePrograms(error, true))
            recordWholeOutput(QStringLiteral("the sound server cannot record single programs (%1)").arg(QString::fromUtf8(pa_strerror(error))));
        return;
    }
    // The same answer means the program moved to another output just now: ask where it plays. An answer
    // that comes after the capture changed output too says nothing (the program may have moved along).
    askedWhere_.insert(sinkInput);
    pa_operation* operation = pa_context_get_sink_input_info(
        connection_->context(), sinkInput,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
            auto* capture = static_cast<PulseSystemAudioCapture*>(self);
            if (eol != 0 || !info || capture->stopping_ || capture->askedWhere_.erase(info->index) == 0)
                return;
            if (SystemAudioPrograms::refusesSinglePrograms(PA_ERR_INVALID, info->sink == capture->outputIndex_))
                capture->recordWholeOutput(QStringLiteral("the sound server cannot record single programs (%1)").arg(QString::fromUtf8(pa_strerror(PA_ERR_INVALID))));
        },
        this);
    if (operation)
        pa_operation_unref(operation);
}

void PulseSystemAudioCapture::recordWholeOutput(const QString& reason)
{
    if (!singlePrograms_ || stopping_)
        return;
    singlePrograms_ = false;
    Diagnostics::log(QStringLiteral("system audio: %1; recording everything %2 plays, the studio's own sounds included").arg(reason, description_));
    mixer_->mixWholeMonitor();
    programs_.clear();
}

void PulseSystemAudioCapture::readProgram(Program& program)
{
    PulseRecordBlocks::readEvery(program.stream.get(), channels_, [&](const PulseRecordBlocks::Block& block) {
        // The server sends a block once its last frame is rendered: it arrived with what is queued behind it.
        mixer_->addProgramSound(program.sinkInput, block.readAt - block.queuedAfter, block.samples, block.frames);
    });
    if (draining_)
        connection_->signal();
}

void PulseSystemAudioCapture::readMonitor()
{
    PulseRecordBlocks::readEvery(monitor_.get(), channels_, [&](const PulseRecordBlocks::Block& block) {
        if (draining_)
            return; // after the stop: not part of the take
        if (switchedAt_) {
            // A new monitor's first blocks may arrive a while after their sound (about 90 ms on PipeWire), and
            // the stream settles on the blocks after them: such a gap stays one, lest the filled time push
            // them later than they were heard. An output that was idle sends its first block seconds late.
            const int64_t arrived = block.readAt - block.queuedAfter;
            if (arrived - *switchedAt_ > lateFirstBlockNanoseconds)
                fillSinceSwitch(arrived);
            switchedAt_.reset();
        }
        if (!block.samples)
            Diagnostics::log(QStringLiteral("%1: the sound server reported a hole of %2 ms").arg(monitorName_).arg(block.duration / 1e6, 0, 'f', 1));
        // Stamped like every monitor block: it starts sounding when it arrives, so its latency, counted from
        // its end, is what is queued behind it less its own length.
        deliver(mixer_->addMonitor(block.readAt, block.queuedAfter - block.duration, block.samples, block.frames));
        if (!firstBlockRead_) {
            firstBlockRead_ = true;
            connection_->signal();
        }
    });
}

void PulseSystemAudioCapture::fillSinceSwitch(int64_t until)
{
    // Silent monitor blocks of 10 ms, each read as its last frame is rendered as a monitor's are, so the
    // mixer places the programs' sound on them and the timestamper stamps them by the clock.
    const int64_t frames = sampleRate_ / 100;
    const int64_t duration = frames * 1'000'000'000 / sampleRate_;
    for (; *switchedAt_ + duration <= until; *switchedAt_ += duration)
        deliver(mixer_->addMonitor(*switchedAt_ + duration, 0, nullptr, frames));
}

void PulseSystemAudioCapture::deliver(std::vector<SystemAudioMixer::Block> blocks)
{
    for (SystemAudioMixer::Block& block : blocks) {
        if (block.afterOverflow)
            timestamper_->resynchronize();
        AudioTimestamper::Fed fed = timestamper_->feed(block.readAt, block.latency, block.samples.data(), static_cast<int64_t>(block.samples.size()) / channels_);
        deliver(fed);
    }
}

void PulseSystemAudioCapture::deliver(AudioTimestamper::Fed& fed)
{
    if (!fed.note.isEmpty())
        Diagnostics::log(monitorName_ + QStringLiteral(": ") + fed.note);
    for (const MediaSample& block : fed.blocks) {
        if (onBlock_ && !stopping_)
            onBlock_(block);
    }
}

void PulseSystemAudioCapture::monitorStateChanged()
{
    connection_->signal();
    const pa_stream_state_t state = pa_stream_get_state(monitor_.get());
    if (state == PA_STREAM_READY)
        monitorOpened_ = true;
    // A refused connect at the start is start()'s error.
    if ((state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED) || !running_ || stopping_)
        return;
    if (pa_context_get_state(connection_->context()) != PA_CONTEXT_READY) {
        // The server is gone, and with it every output.
        if (onFailure_)
            onFailure_(QStringLiteral("the sound source %1 stopped").arg(monitorName_));
        return;
    }
    const QString error = serverError(connection_->context());
    if (!monitorOpened_) {
        // Tried again when the outputs change next.
        Diagnostics::log(QStringLiteral("system audio: the sound source %1 could not be opened: %2").arg(monitorName_, error));
        return;
    }
    // Its output was removed (or the stream was ended): the take goes on with the output that plays now.
    Diagnostics::log(QStringLiteral("system audio: the sound source %1 ended (%2)").arg(monitorName_, error));
    findOutput();
}

void PulseSystemAudioCapture::waitUntilFlowing()
{
    if (!connection_)
        return;
    PulseConnection::Lock lock(*connection_);
    if (!monitor_)
        return;
    // An output that was idle may take most of a second to send its monitor's first block. The output may
    // change meanwhile: then the next monitor's first block is awaited.
    connection_->waitUntil(
        [this] { return firstBlockRead_ || (monitor_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(monitor_.get()))); }, firstBlockTimeoutMicroseconds);
    if (!firstBlockRead_)
        Diagnostics::log(QStringLiteral("%1: no sound arrived within %2 s of opening the source").arg(monitorName_).arg(firstBlockTimeoutMicroseconds / 1e6));
}

void PulseSystemAudioCapture::stop()
{
    // A second caller at the same moment waits here until the first closed the stream and its connection.
    std::lock_guard guard(stopLock_);
    if (!connection_)
        return;
    {
        PulseConnection::Lock lock(*connection_);
        // Sound still held (for the programs to catch up, or while the latency settled) belongs to the take,
        // with what programs that send late still owe for it.
        if (mixer_ && timestamper_ && !stopping_) {
            // The output changed just before: its monitor sent nothing yet, but the take goes on to the stop.
            if (switchedAt_)
                fillSinceSwitch(HostClock::nowNanoseconds());
            draining_ = true;
            connection_->waitUntil([this] { return !mixer_->awaitsPrograms(); }, SystemAudioMixer::longestHoldNanoseconds / 1000);
            deliver(mixer_->flush());
            AudioTimestamper::Fed fed = timestamper_->flush();
            deliver(fed);
        }
        stopping_ = true;
        running_ = false;
        pa_context_set_subscribe_callback(connection_->context(), nullptr, nullptr);
        if (recheck_) {
            pa_threaded_mainloop_get_api(connection_->mainloop())->time_free(recheck_);
            recheck_ = nullptr;
        }
        programs_.clear();
        spareClient_.reset();
        defaultProbe_.reset();
        retiredClients_.clear();
        standby_.clear();
        awake_.reset();
        monitor_.reset();
    }
    connection_.reset();
}
