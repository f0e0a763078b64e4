#include "core/RecordingChannel.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordingChannel, RawTextsAreExactAndHandoffValuesLenient)
{
    for (RecordingChannel channel : RecordingChannels::allCases)
        EXPECT_EQ(RecordingChannels::fromRawText(RecordingChannels::rawText(channel)), channel);
    EXPECT_EQ(RecordingChannels::rawText(RecordingChannel::dorvelTalk), QStringLiteral("dorvel-talk"));
    EXPECT_FALSE(RecordingChannels::fromRawText(QStringLiteral("Dorvel-Talk")));
    EXPECT_FALSE(RecordingChannels::fromRawText(QStringLiteral(" inkwell")));
    EXPECT_FALSE(RecordingChannels::fromRawText(QString()));

    // Handoff values are lenient.
    const struct {
        const char* text;
        RecordingChannel channel;
    } cases[] = {
        {"dorvel-talk", RecordingChannel::dorvelTalk}, {"  DORVEL-Talk \n", RecordingChannel::dorvelTalk},
        {"Branchline", RecordingChannel::branchline}, {"inkwell", RecordingChannel::inkwell},
        {"ai", RecordingChannel::ai}, {"", RecordingChannel::ai}, {"dorvel talk", RecordingChannel::ai}, {"inkwell-channel", RecordingChannel::ai},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecordingChannels::fromHandoffValue(QString::fromLatin1(c.text)), c.channel) << c.text;
}

} // namespace
