#include "takes/HandoffArbiter.h"

namespace HandoffArbiter {

Decision decide(const std::optional<Offer>& take, const std::optional<QString>& takeHandled,
    const std::optional<Offer>& recording, const std::optional<QString>& recordingHandled)
{
    const bool takeNew = take && !(takeHandled && *takeHandled == take->token);
    const bool recordingNew = recording && !(recordingHandled && *recordingHandled == recording->token);
    if (!takeNew && !recordingNew)
        return {};
    if (!takeNew)
        return Decision{Decision::Choice::recording, false, false};
    if (!recordingNew)
        return Decision{Decision::Choice::take, false, false};
    if (recording->writtenAt > take->writtenAt)
        return Decision{Decision::Choice::recording, true, false};
    return Decision{Decision::Choice::take, false, true};
}

} // namespace HandoffArbiter
