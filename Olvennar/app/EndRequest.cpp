#include "app/EndRequest.h"

namespace EndRequest {

Answer answer(std::optional<std::int64_t> firstReceivedAt, std::int64_t receivedAt)
{
    if (!firstReceivedAt)
        return Answer::begins;
    return receivedAt - *firstReceivedAt >= insistingAfterNanoseconds ? Answer::insists : Answer::sameRequest;
}

} // namespace EndRequest
