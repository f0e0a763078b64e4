#pragma once

// Container and write discipline shared by MovieWriter and Remux.
enum class MovieFileType { quickTimeMovie, appleM4A };

enum class MovieWriteMode {
    // Fragmented file written in place (fragments of at most 1 s): a crash or kill keeps all but the last second.
    capture,
    // Hidden sibling with the index at the front, renamed over the target only when complete.
    finishing,
};
