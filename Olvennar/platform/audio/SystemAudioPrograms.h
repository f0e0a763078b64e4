#pragma once

#include <QString>

#include <cstdint>

// Which programs the system-audio track hears: every stream playing on the recorded output, except the
// studio's own (its feedback sounds, a replay).
namespace SystemAudioPrograms {

enum class Action { follow, leave, nothing };

// What to do about a stream on `sink`, played by process `processId` (empty for a server module), given
// whether it is followed now.
Action actionFor(bool followed, uint32_t sink, const QString& processId, uint32_t output, const QString& ownProcess);

// Whether `error`, met opening one program's stream, means the server will not record single programs (as
// opposed to the program having ended, or moved to another output in the meantime).
bool refusesSinglePrograms(int error, bool stillOnOutput);

} // namespace SystemAudioPrograms
