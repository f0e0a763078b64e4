#pragma once

namespace Mixdown {

// How an export shares the cores between its stages. Every frame thread of a decoder or an encoder holds
// frames of its own (x264: about 20 MB at 1080p), so threads beyond what keeps a stage ahead of the others
// cost memory without speed: the renderers draw whole frames side by side, the encoder takes the cores they
// leave (never fewer than two threads), and the decoders, far faster than the rest, get a few.
struct ThreadBudget {
    int renderers = 1;
    int encoderThreads = 2;
    int screenDecoderThreads = 1;
    int overlayDecoderThreads = 1;

    static ThreadBudget forCores(int cores);
};

} // namespace Mixdown
