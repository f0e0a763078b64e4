#pragma once

#include "takedata/NextRecording.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Chooses between the short handoff (".next_take.json") and the long-form handoff (".next_recording.json")
// on each poll. A handoff whose token the controller remembers is as good as absent; when both are new the
// later written wins, and a tie goes to the short handoff.
namespace HandoffArbiter {

struct Decision {
    enum class Choice { none, take, recording };
    Choice choice = Choice::none;
    bool takeSuperseded = false; // the long-form handoff won over a new short handoff
    bool recordingSuperseded = false; // the short handoff won over a new long-form handoff
    friend bool operator==(const Decision&, const Decision&) = default;
};

// What the arbiter needs of a handoff: its remembered identity and when it was written.
struct Offer {
    QString token;
    QDateTime writtenAt;
};

Decision decide(const std::optional<Offer>& take, const std::optional<QString>& takeHandled,
    const std::optional<Offer>& recording, const std::optional<QString>& recordingHandled);

// The short handoff's token: script id + "|" + written-at text.
inline QString shortToken(const QString& scriptID, const QString& writtenAtText) { return scriptID + QLatin1Char('|') + writtenAtText; }

// The records themselves; Take is the short handoff record (scriptID, writtenAtText, writtenAt).
template <typename Take>
Decision decide(const std::optional<Take>& take, const std::optional<QString>& takeHandled,
    const std::optional<NextRecording>& recording, const std::optional<QString>& recordingHandled)
{
    std::optional<Offer> takeOffer;
    if (take)
        takeOffer = Offer{shortToken(take->scriptID, take->writtenAtText), take->writtenAt};
    std::optional<Offer> recordingOffer;
    if (recording)
        recordingOffer = Offer{recording->token(), recording->writtenAt};
    return decide(takeOffer, takeHandled, recordingOffer, recordingHandled);
}

} // namespace HandoffArbiter
