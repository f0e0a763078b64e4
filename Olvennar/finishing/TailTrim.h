#pragma once

#include <QString>

#include <optional>

// Cuts the last seconds off a finished take in place, without re-encoding, and writes the stop record that
// says who stopped the take and what was cut.
namespace TailTrim {

struct Result {
    double trimmed = 0; // seconds removed
    double duration = 0; // seconds left
};

// Nothing when nothing was cut: seconds not above 0, a file of at most seconds + 3 s, an unreadable file,
// a type other than .m4a or .mov (logged, left untouched) or a failed copy (logged; the file stays as it
// was). Blocking: run it off the main thread.
std::optional<Result> trim(const QString& path, double seconds);

// The stop record as pretty-printed JSON with sorted keys, swapped in atomically. A failure is logged and
// otherwise ignored: the record is best-effort.
void writeSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration);

} // namespace TailTrim
