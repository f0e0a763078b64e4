#pragma once

// x265 lowers every worker of its thread pool to nice +10 as the worker starts, through glibc's nice(). Behind
// busy programs at normal priority such workers got a tenth of the CPU a take's encoder needs, and an
// unprivileged thread can never raise its priority again. So this program answers nice() itself and leaves the
// calling thread's priority as it is: an encoder's pool keeps the priority of the thread that opened it. Only
// x265 calls nice() here; threads that should yield lower themselves (ThisThread::lowerPriority).
namespace EncoderThreadPriority {

// True when the program's own nice() is the one libraries reach (the executable exports it, as the linker does
// for a symbol that a linked library uses): a pool opened now keeps its opener's priority.
bool poolKeepsPriority();

} // namespace EncoderThreadPriority
