#include "takedata/RecordingChannel.h"

namespace RecordingChannels {

QString rawText(RecordingChannel channel)
{
    switch (channel) {
    case RecordingChannel::ai: return QStringLiteral("ai");
    case RecordingChannel::dorvelTalk: return QStringLiteral("dorvel-talk");
    case RecordingChannel::branchline: return QStringLiteral("branchline");
    case RecordingChannel::inkwell: return QStringLiteral("inkwell");
    }
    return QStringLiteral("ai");
}

std::optional<RecordingChannel> fromRawText(const QString& text)
{
    for (RecordingChannel channel : allCases) {
        if (rawText(channel) == text)
            return channel;
    }
    return std::nullopt;
}

RecordingChannel fromHandoffValue(const QString& text)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("dorvel-talk"))
        return RecordingChannel::dorvelTalk;
    if (word == QLatin1String("branchline"))
        return RecordingChannel::branchline;
    if (word == QLatin1String("inkwell"))
        return RecordingChannel::inkwell;
    return RecordingChannel::ai;
}

} // namespace RecordingChannels
