#pragma once

#include <cstdint>
#include <vector>

// The two integer passes of the area resample, columns first: each source row is summed across its columns
// once (16-bit sums of 8-bit channels times weights out of 256), then each target row mixes the column sums
// of its source rows with its row weights and rounds, (sum + 32768) >> 16. Every sum is exact, so the
// order of the passes and the AVX2 or plain code give the same bytes.
namespace AreaPasses {

// The column taps of one target row: pixel c sums `taps` source pixels from first[c], weighted by
// weights[c · taps + k]. Built by `columns`, which keeps every read inside the source row.
struct Columns {
    int taps = 0;
    std::vector<int> first;
    std::vector<uint16_t> weights;
    int sourceWidth = 0;
    // The AVX2 pass takes four pixels at a time, two per 128-bit lane: each lane loads four source pixels
    // from its first pixel's first tap (plus the tap) and a byte shuffle picks both pixels' channels as
    // words. Per group: each lane's first source pixel, the shuffle (32 bytes), the weights spread over
    // the channels (16 words per tap), and how the group is read (straight from the row, from a padded
    // copy of the row's end, or pixel by pixel); [directBegin, directEnd) is the longest run of whole
    // groups read straight.
    std::vector<int32_t> groupStarts;
    std::vector<uint8_t> groupShuffles;
    std::vector<uint16_t> groupWeights;
    std::vector<uint8_t> groupPaths;
    int directBegin = 0;
    int directEnd = 0;
};

// `first` and `weights` as above; a pixel whose taps would run past the end of the row (`sourceWidth`
// pixels) starts earlier with its weights moved along. Needs taps ≤ sourceWidth.
Columns columns(std::vector<int> first, std::vector<uint16_t> weights, int taps, int sourceWidth);

// Column sums of one BGRA row into 4 words per target pixel.
void sumColumns(const uint8_t* line, const Columns& columns, uint16_t* sums, bool wide);

// out[i] = (Σ weights[j] · rows[j][i] + 32768) >> 16 for `length` words; the weights add up to 256 at most.
void mixRows(const uint16_t* const* rows, const uint16_t* weights, int count, int length, uint8_t* out, bool wide);

// The column taps of one plane's target row, up to four a pixel, for mixPlaneColumns: pixel c reads `taps`
// sums from first[c]; its weights lie tap-major in groups of eight pixels (group g, tap k, pixel j of the group
// at (g · taps + k) · 8 + j), zero past the pixel's own taps and for the padding pixels of the last group.
struct PlaneColumns {
    int taps = 0;
    int count = 0;
    std::vector<int32_t> first; // padded to whole groups
    std::vector<uint32_t> weights;
    // For the AVX2 pass, per group: whether its halves take byte shuffles and the shuffle (32 bytes); each tap
    // pair's weights as two words a pixel, sixteen pixels a block, pair by pair; each pixel's rounding.
    std::vector<uint8_t> shuffled;
    std::vector<uint8_t> shuffles;
    std::vector<uint32_t> pairWeights;
    std::vector<int32_t> rounding;
    // For the AVX-512 pass, per sixteen pixels: whether their sums lie within 32 words of the first pixel's
    // start, and the words each pixel takes from there for the first tap pair (two a pixel).
    std::vector<uint8_t> wide;
    std::vector<uint16_t> wideIndex;
};
// Nothing (taps 0) when a pixel has more than four taps. `first` and `weights` as Columns takes them.
PlaneColumns planeColumns(const std::vector<int>& first, const std::vector<uint16_t>& weights, int stride, const std::vector<int>& counts);

// out[c] = (Σ weights · sums[first[c] + k] + 32768) >> 16 for every pixel c; `sums` must be readable to
// 32 words past every first[c].
void mixPlaneColumns(const uint16_t* sums, const PlaneColumns& columns, uint8_t* out, bool wide);

// Whether this processor runs the AVX2 paths (mixPlaneColumns takes AVX-512 where there is).
bool wideAvailable();

} // namespace AreaPasses
