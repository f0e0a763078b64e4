#pragma once

// How this process's allocator treats big blocks. Decoders and encoders allocate frames of a few megabytes
// on many short-lived threads; under glibc's adaptive threshold those come from per-thread arenas once the
// first big block has been freed, and an arena keeps its free top, so every render left some 25 MB behind.
// Mapping every block from 256 KB up gives it back to the system the moment it is freed.
namespace ProcessMemory {

// Once, at the start of main, before any thread starts.
void mapLargeBlocks();

// Returns freed memory the allocator still holds (after a render, say).
void returnFreedMemory();

// What the process holds in memory now (resident), in kilobytes; -1 when it cannot be read.
long residentKilobytes();

} // namespace ProcessMemory
