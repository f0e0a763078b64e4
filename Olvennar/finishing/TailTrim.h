#pragma once

#include "platform/system/HeldFile.h"

#include <QString>

#include <memory>
#include <optional>

// Cuts the last seconds off a finished take in place, without re-encoding, and writes the stop record that
// says who stopped the take and what was cut.
namespace TailTrim {

struct Result {
    double trimmed = 0; // seconds removed
    double duration = 0; // seconds left
    // The file as cut, held from before it took the name.
    std::shared_ptr<const HeldFile> written = {};
};

// Nothing when nothing was cut: seconds not above 0, a file of at most seconds + 3 s, an unreadable file,
// a type other than .m4a or .mov (logged, left untouched) or a failed copy (logged; the file stays as it
// was). With `own`, the file cut is that one, read through what it is, and the cut takes the name only while
// the name still names it: a file put there since is another's and stays as it is (logged). Blocking: run it
// off the main thread.
std::optional<Result> trim(const QString& path, double seconds, std::shared_ptr<const HeldFile> own = nullptr);

// The stop record as pretty-printed JSON with sorted keys, swapped in atomically. A failure is logged and
// otherwise ignored: the record is best-effort.
void writeSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration);

} // namespace TailTrim
