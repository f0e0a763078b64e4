#pragma once

#include <QString>

#include <array>
#include <optional>

// The publishing channel of a take; it chooses the project and shorts folders. The raw text is stored.
enum class RecordingChannel { ai, dorvelTalk, branchline, inkwell };

namespace RecordingChannels {
inline constexpr std::array<RecordingChannel, 4> allCases{
    RecordingChannel::ai, RecordingChannel::dorvelTalk, RecordingChannel::branchline, RecordingChannel::inkwell};

QString rawText(RecordingChannel channel);
// Exactly the four raw texts; anything else is no channel.
std::optional<RecordingChannel> fromRawText(const QString& text);
// The lenient reading of a handoff file's "channel": trimmed, any letter case; unknown or empty text is `ai`.
RecordingChannel fromHandoffValue(const QString& text);
}
