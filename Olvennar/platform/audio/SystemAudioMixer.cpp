#include "platform/audio/SystemAudioMixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {
constexpr int64_t second = 1'000'000'000;
}

SystemAudioMixer::SystemAudioMixer(int sampleRate, int channels, int64_t holdFrames)
    : sampleRate_(sampleRate > 0 ? sampleRate : 48000)
    , channels_(channels > 0 ? channels : 2)
    , holdFrames_(std::max<int64_t>(0, holdFrames))
    , longestHoldFrames_(std::max(holdFrames_, longestHoldNanoseconds * sampleRate_ / second))
{
}

int64_t SystemAudioMixer::nanosecondsOf(int64_t frames) const { return frames * second / sampleRate_; }

int64_t SystemAudioMixer::anchor() const
{
    return std::min_element(readings_.begin(), readings_.end(), [](const Reading& a, const Reading& b) { return a.offset < b.offset; })->offset;
}

int64_t SystemAudioMixer::positionAt(int64_t nanoseconds) const
{
    return static_cast<int64_t>(std::llround(static_cast<double>(nanoseconds - anchor()) * sampleRate_ / second));
}

std::vector<SystemAudioMixer::Block> SystemAudioMixer::addMonitor(int64_t readAt, int64_t latency, const float* samples, int64_t frames)
{
    if (frames <= 0)
        return {};
    Held held;
    held.position = monitorFrames_;
    held.frames = frames;
    held.block.readAt = readAt;
    held.block.latency = latency;
    held.block.afterOverflow = std::exchange(overflowed_, false);
    if (samples)
        held.block.samples.assign(samples, samples + frames * channels_);
    else
        held.block.samples.assign(static_cast<size_t>(frames * channels_), 0.0f);
    held_.push_back(std::move(held));

    monitorFrames_ += frames;
    // The block's last frame was rendered when it was read, less what was queued behind it.
    const int64_t rendered = readAt - latency - nanosecondsOf(frames);
    readings_.push_back({monitorFrames_, rendered - nanosecondsOf(monitorFrames_)});
    while (readings_.size() > 1 && readings_.front().position < monitorFrames_ - sampleRate_)
        readings_.pop_front();
    forgetReadingsBeforeABreak();

    for (auto& [id, program] : programs_)
        place(program);
    return release(false);
}

void SystemAudioMixer::forgetReadingsBeforeABreak()
{
    // The newest tenth of a second of readings in two halves, and the earliest reading of each.
    const int64_t recent = monitorFrames_ - sampleRate_ / 10;
    const auto firstRecent = std::find_if(readings_.begin(), readings_.end(), [&](const Reading& r) { return r.position > recent; });
    const auto middle = std::find_if(firstRecent, readings_.end(), [&](const Reading& r) { return r.position > recent + sampleRate_ / 20; });
    if (firstRecent == readings_.begin() || middle == firstRecent || middle == readings_.end())
        return;
    const auto earliest = [](auto from, auto to) {
        return std::min_element(from, to, [](const Reading& a, const Reading& b) { return a.offset < b.offset; })->offset;
    };
    const int64_t before = earliest(readings_.begin(), firstRecent);
    const int64_t firstHalf = earliest(firstRecent, middle), secondHalf = earliest(middle, readings_.end());
    // A burst read late drains towards the earlier readings, each half earlier than the one before; after a
    // break (the output suspended, the server stopped) the readings stay level, later than before by the
    // whole break, as the monitor's count never counted it. Then only what came after it places programs.
    if (std::min(firstHalf, secondHalf) - before <= breakNanoseconds || std::llabs(firstHalf - secondHalf) > levelNanoseconds)
        return;
    const auto after = std::find_if(readings_.begin(), readings_.end(), [&](const Reading& r) { return r.offset - before > breakNanoseconds; });
    const int64_t breakAt = after->position;
    readings_.erase(readings_.begin(), after);
    // A program placed by its time since then was placed on the readings from before: placed again.
    for (auto& [id, program] : programs_) {
        if (program.placedOn >= breakAt)
            program.placeByTime = true;
    }
}

void SystemAudioMixer::monitorOverflowed()
{
    // Lost frames are not counted, so the readings before the loss no longer fit the count.
    overflowed_ = true;
    readings_.clear();
    for (auto& [id, program] : programs_)
        program.placeByTime = true;
}

void SystemAudioMixer::addProgram(uint32_t id)
{
    if (const auto [program, added] = programs_.try_emplace(id); added) {
        program->second.heardAt = monitorFrames_;
        // One that starts while the track runs may send its first sound late; one already playing when it
        // opened comes with the monitor's first blocks.
        program->second.awaitFirst = monitorFrames_ > 0;
    }
}

void SystemAudioMixer::addProgramSound(uint32_t id, int64_t renderedNanoseconds, const float* samples, int64_t frames)
{
    const auto found = programs_.find(id);
    if (found == programs_.end() || found->second.ended || frames <= 0 || wholeMonitor_)
        return;
    Program& program = found->second;
    program.heardAt = monitorFrames_;
    Waiting sound{renderedNanoseconds, {}, frames};
    if (samples)
        sound.samples.assign(samples, samples + frames * channels_);
    program.waiting.push_back(std::move(sound));
    if (hasAnchor())
        place(program);
}

void SystemAudioMixer::place(Program& program)
{
    for (const Waiting& sound : program.waiting) {
        const int64_t byTime = positionAt(sound.rendered) - sound.frames;
        const bool stale = program.next + sound.frames <= mixedUpTo_;
        const bool early = nanosecondsOf(program.next - byTime) > largestLeadNanoseconds;
        if (!program.placed || program.placeByTime || stale || (early && program.sounded)) {
            program.next = byTime;
            program.placedOn = monitorFrames_;
            program.sounded = false;
        } else if (byTime < program.next && !program.sounded) {
            moveEarlier(program, program.next - byTime);
        }
        program.placed = true;
        program.placeByTime = false;
        if (!sound.samples.empty())
            append(program, program.next, sound.samples.data(), sound.frames);
        program.next += sound.frames;
    }
    program.waiting.clear();
}

void SystemAudioMixer::moveEarlier(Program& program, int64_t frames)
{
    program.next -= frames;
    if (program.pending.empty())
        return;
    program.pendingStart -= frames;
    const int64_t late = std::clamp<int64_t>(mixedUpTo_ - program.pendingStart, 0, static_cast<int64_t>(program.pending.size()) / channels_);
    program.pending.erase(program.pending.begin(), program.pending.begin() + late * channels_);
    program.pendingStart += late;
}

void SystemAudioMixer::append(Program& program, int64_t position, const float* samples, int64_t frames)
{
    // Frames already given out are too late to be heard.
    const int64_t late = std::clamp<int64_t>(mixedUpTo_ - position, 0, frames);
    position += late;
    samples += late * channels_;
    frames -= late;
    if (frames <= 0)
        return;
    const int64_t pendingEnd = program.pendingStart + static_cast<int64_t>(program.pending.size()) / channels_;
    if (program.pending.empty()) {
        program.pendingStart = position;
    } else if (position > pendingEnd) {
        program.pending.insert(program.pending.end(), static_cast<size_t>((position - pendingEnd) * channels_), 0.0f);
    } else if (position < pendingEnd) {
        // Placed again earlier than its last sound ended: the newer sound wins.
        const int64_t keep = std::max<int64_t>(0, position - program.pendingStart);
        program.pending.resize(static_cast<size_t>(keep * channels_));
        if (program.pending.empty())
            program.pendingStart = position;
    }
    program.pending.insert(program.pending.end(), samples, samples + frames * channels_);
}

void SystemAudioMixer::programOverflowed(uint32_t id)
{
    if (const auto found = programs_.find(id); found != programs_.end())
        found->second.placeByTime = true;
}

void SystemAudioMixer::endProgram(uint32_t id)
{
    const auto found = programs_.find(id);
    if (found == programs_.end())
        return;
    found->second.ended = true;
    if (found->second.pending.empty() && found->second.waiting.empty())
        programs_.erase(found);
}

void SystemAudioMixer::mixWholeMonitor()
{
    wholeMonitor_ = true;
    programs_.clear();
}

std::vector<SystemAudioMixer::Block> SystemAudioMixer::flush() { return release(true); }

std::vector<SystemAudioMixer::Block> SystemAudioMixer::release(bool all)
{
    std::vector<Block> out;
    while (!held_.empty() && (all || (held_.front().position + held_.front().frames + holdFrames_ <= monitorFrames_ && !waitsFor(held_.front())))) {
        Held& held = held_.front();
        if (!wholeMonitor_)
            mixInto(held);
        mixedUpTo_ = held.position + held.frames;
        out.push_back(std::move(held.block));
        held_.pop_front();
    }
    for (auto program = programs_.begin(); program != programs_.end();) {
        if (program->second.ended && program->second.pending.empty() && program->second.waiting.empty())
            program = programs_.erase(program);
        else
            ++program;
    }
    return out;
}

bool SystemAudioMixer::waitsFor(const Held& held) const
{
    const int64_t end = held.position + held.frames;
    if (end + longestHoldFrames_ <= monitorFrames_)
        return false;
    // A program silent for longer than the longest hold has stopped sending (paused, or done and not yet gone).
    return std::any_of(programs_.begin(), programs_.end(), [&](const auto& entry) {
        const Program& program = entry.second;
        return !program.ended && monitorFrames_ - program.heardAt <= longestHoldFrames_ && (program.placed ? program.next < end : program.awaitFirst);
    });
}

void SystemAudioMixer::mixInto(Held& held)
{
    std::vector<float>& out = held.block.samples;
    std::fill(out.begin(), out.end(), 0.0f);
    const int64_t end = held.position + held.frames;
    for (auto& [id, program] : programs_) {
        std::deque<float>& pending = program.pending;
        const int64_t from = std::max(program.pendingStart, held.position);
        const int64_t pendingEnd = program.pendingStart + static_cast<int64_t>(pending.size()) / channels_;
        const int64_t to = std::min(pendingEnd, end);
        program.sounded = program.sounded || from < to;
        for (int64_t frame = from; frame < to; ++frame) {
            const size_t source = static_cast<size_t>((frame - program.pendingStart) * channels_);
            const size_t target = static_cast<size_t>((frame - held.position) * channels_);
            for (int channel = 0; channel < channels_; ++channel)
                out[target + static_cast<size_t>(channel)] += pending[source + static_cast<size_t>(channel)];
        }
        // Everything before the block's end is given out now.
        const int64_t used = std::clamp<int64_t>(end - program.pendingStart, 0, pendingEnd - program.pendingStart);
        pending.erase(pending.begin(), pending.begin() + used * channels_);
        program.pendingStart += used;
        if (pending.empty())
            program.pendingStart = 0;
    }
    for (float& sample : out)
        sample = std::clamp(sample, -1.0f, 1.0f);
}
