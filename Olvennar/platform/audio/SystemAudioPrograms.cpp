#include "platform/audio/SystemAudioPrograms.h"

#include <pulse/def.h>

namespace SystemAudioPrograms {

Action actionFor(bool followed, uint32_t sink, const QString& processId, uint32_t output, const QString& ownProcess)
{
    const bool wanted = sink == output && processId != ownProcess;
    if (wanted == followed)
        return Action::nothing;
    return wanted ? Action::follow : Action::leave;
}

bool refusesSinglePrograms(int error, bool stillOnOutput)
{
    switch (error) {
    case PA_ERR_NOENTITY:
    case PA_ERR_KILLED:
        return false;
    case PA_ERR_INVALID:
        // The server says this for a stream that is no longer on the output.
        return stillOnOutput;
    default:
        return true;
    }
}

} // namespace SystemAudioPrograms
