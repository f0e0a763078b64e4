#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

// Mixes the sound of single programs onto the timeline of their output's monitor. The monitor keeps the
// track's cadence and clock: every monitor block comes out once, in order, with the times it was read at, so
// the track runs on in silence when nothing plays. What comes out in it is the sum of the programs' sound for
// the same frames, or, after `mixWholeMonitor()`, the monitor's own sound.
//
// Positions count monitor frames from the first one read. The server sends a block once its last frame is
// rendered, to the monitor and to every program's stream alike, though not always in blocks of one length (a
// program's first block is often the head of a chunk whose rest the monitor waits for). So a program's first
// block is placed to end where the monitor's timeline stood when the block's last frame was rendered (the
// earliest reading of the last second is the truest, as scheduling only ever delays a read); then its sound
// follows by sample count, as the server renders a program and its output together. A program whose sound
// would land on frames already given out (its flow stopped for a while) or far ahead of its time is placed
// by its time again. Until any of a program's sound is given out, a block that measures earlier than its place
// by count moves all the program sent that much earlier: a read that came late only ever measures late, so a
// program whose first blocks came late (below) lands where its promptest read puts it.
//
// Monitor blocks are held back `holdFrames` so the programs' sound of the same moment, which may arrive a
// little after the monitor's, is there to mix; and longer, up to `longestHoldNanoseconds`, while a program that
// just joined or sent sound within that time has not sent the sound of a held block yet. Some servers send a
// program that starts while another plays in fits, a few hundred milliseconds apart, every frame late but
// whole; the track then waits for it, and runs on as before once programs send in time.
//
// One thread at a time (the capture's mainloop thread).
class SystemAudioMixer {
public:
    struct Block {
        std::vector<float> samples;
        int64_t readAt = 0; // host nanoseconds when its monitor block was read
        int64_t latency = 0; // and the latency measured then, as for the monitor block itself
        // The server dropped monitor sound before this block: the timeline starts again here.
        bool afterOverflow = false;
    };
    // Sound placed this far ahead of its read time is misplaced and placed by its time again.
    static constexpr int64_t largestLeadNanoseconds = 100'000'000;
    // Readings this much later than the earlier ones, and level within `levelNanoseconds` for a tenth of a
    // second, follow a break in the monitor's sound.
    static constexpr int64_t breakNanoseconds = 200'000'000;
    static constexpr int64_t levelNanoseconds = 15'000'000;

    // Monitor blocks wait at most this long for a program that sends late.
    static constexpr int64_t longestHoldNanoseconds = 2'000'000'000;

    SystemAudioMixer(int sampleRate, int channels, int64_t holdFrames);

    // A monitor block of `frames` frames (`samples` null for a hole the server reported, which is silence)
    // read at `readAt`, starting at `readAt − latency − its duration`. Returns the blocks now mixed, oldest first.
    std::vector<Block> addMonitor(int64_t readAt, int64_t latency, const float* samples, int64_t frames);
    void monitorOverflowed();

    void addProgram(uint32_t id);
    // A block of program `id` whose last frame was rendered at host time `renderedNanoseconds` (its read time
    // less what was queued behind it); `samples` null for a hole.
    void addProgramSound(uint32_t id, int64_t renderedNanoseconds, const float* samples, int64_t frames);
    // The server dropped some of the program's sound: its next block is placed by its time.
    void programOverflowed(uint32_t id);
    // What the program already sent is still mixed; nothing more comes.
    void endProgram(uint32_t id);
    bool hasProgram(uint32_t id) const { return programs_.count(id) > 0; }
    size_t programCount() const { return programs_.size(); }

    // From the next block given out on: the monitor's own sound; every program is dropped.
    void mixWholeMonitor();
    bool mixesWholeMonitor() const { return wholeMonitor_; }

    // Whether a program that sends still owes sound for a held block (the track waits for it).
    bool awaitsPrograms() const { return !held_.empty() && waitsFor(held_.back()); }
    // Every held block, mixed with what the programs sent.
    std::vector<Block> flush();

private:
    struct Held {
        Block block;
        int64_t position = 0;
        int64_t frames = 0;
    };
    struct Waiting {
        int64_t rendered = 0;
        std::vector<float> samples; // empty for a hole
        int64_t frames = 0;
    };
    struct Program {
        bool placed = false;
        bool placeByTime = false;
        bool ended = false;
        bool sounded = false; // some of its sound since it was last placed by time is given out
        bool awaitFirst = false; // its first sound is waited for
        int64_t heardAt = 0; // monitor frames read when it joined or last sent sound
        int64_t next = 0; // position of the next frame it sends
        int64_t placedOn = -1; // monitor frames read when it was last placed by its time
        int64_t pendingStart = 0; // position of `pending`'s first frame
        std::deque<float> pending;
        std::vector<Waiting> waiting; // sound that came before the monitor's first block
    };
    struct Reading {
        int64_t position = 0;
        int64_t offset = 0; // when its last frame was rendered − the frames up to it, nanoseconds
    };

    int64_t nanosecondsOf(int64_t frames) const;
    bool hasAnchor() const { return !readings_.empty(); }
    int64_t anchor() const;
    // The monitor frame whose rendering ended at host time `nanoseconds`.
    int64_t positionAt(int64_t nanoseconds) const;
    // Readings from before a break in the monitor's sound no longer fit its count: dropped once the readings
    // after it are level.
    void forgetReadingsBeforeABreak();
    void place(Program& program);
    // Moves all the program sent `frames` earlier; what lands on frames given out is lost.
    void moveEarlier(Program& program, int64_t frames);
    // Whether a program that sends has not sent the sound of `held` yet, and the block may still wait.
    bool waitsFor(const Held& held) const;
    void append(Program& program, int64_t position, const float* samples, int64_t frames);
    std::vector<Block> release(bool all);
    void mixInto(Held& held);

    int sampleRate_;
    int channels_;
    int64_t holdFrames_;
    int64_t longestHoldFrames_;
    bool wholeMonitor_ = false;
    bool overflowed_ = false;
    int64_t monitorFrames_ = 0; // monitor frames read, holes included
    int64_t mixedUpTo_ = 0; // frames before this position are given out
    std::deque<Held> held_;
    std::deque<Reading> readings_; // the last second's monitor readings
    std::map<uint32_t, Program> programs_;
};
