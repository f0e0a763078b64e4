#pragma once

// The most this process has held in memory (resident), for a measured step in a test or a benchmark.
namespace PeakMemory {

// Gives freed memory back and sets the peak to what the process holds now.
void reset();
// Since the last reset (or the start), in kilobytes; -1 when it cannot be read.
long kilobytes();

} // namespace PeakMemory
