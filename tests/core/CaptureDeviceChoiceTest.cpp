#include "core/CaptureDeviceChoice.h"

#include <gtest/gtest.h>

namespace {

using namespace CaptureDeviceChoice;

CaptureDeviceInfo device(const char* id, const char* name, int rank = 0)
{
    CaptureDeviceInfo info;
    info.uniqueID = QString::fromLatin1(id);
    info.localizedName = QString::fromLatin1(name);
    info.rank = rank;
    return info;
}

const Devices microphones{device("built-in", "Built-in Audio", 1), device("rx", "RODE Wireless Mic RX", 5), device("usb", "USB Mic", 3)};

TEST(CaptureDeviceChoice, ASelectionStaysOnlyWhileListed)
{
    EXPECT_EQ(settled(microphones, QStringLiteral("usb")), QStringLiteral("usb"));
    EXPECT_EQ(settled(microphones, QStringLiteral("gone")), QStringLiteral("built-in"));
    EXPECT_EQ(settled(microphones, std::nullopt), QStringLiteral("built-in"));
    EXPECT_EQ(settled({}, QStringLiteral("usb")), std::nullopt) << "nothing listed clears the selection";

    EXPECT_EQ(selectedOrFirst(microphones, QStringLiteral("rx"))->uniqueID, QStringLiteral("rx"));
    EXPECT_EQ(selectedOrFirst(microphones, QStringLiteral("gone"))->uniqueID, QStringLiteral("built-in"));
    EXPECT_EQ(selectedOrFirst({}, QStringLiteral("rx")), nullptr);
}

TEST(CaptureDeviceChoice, NamesMatchInAnyLetterCaseAndUnknownIDsHaveNone)
{
    EXPECT_EQ(firstNamed(microphones, QStringLiteral("wireless mic rx"))->uniqueID, QStringLiteral("rx"));
    EXPECT_EQ(firstNamed(microphones, QStringLiteral("Mic"))->uniqueID, QStringLiteral("rx")) << "the first listed match wins";
    EXPECT_FALSE(firstNamed(microphones, QStringLiteral("Yeti")));
    EXPECT_EQ(nameOf(microphones, QStringLiteral("usb")), QStringLiteral("USB Mic"));
    EXPECT_FALSE(nameOf(microphones, QStringLiteral("gone")));
    EXPECT_FALSE(nameOf(microphones, std::nullopt));
}

TEST(CaptureDeviceChoice, OnlyAListedSelectionCanRankBelowTheBest)
{
    EXPECT_TRUE(ranksBelowBest(microphones, QStringLiteral("usb")));
    EXPECT_FALSE(ranksBelowBest(microphones, QStringLiteral("rx")));
    EXPECT_FALSE(ranksBelowBest(microphones, QStringLiteral("gone")));
    EXPECT_FALSE(ranksBelowBest(microphones, std::nullopt));
    EXPECT_FALSE(ranksBelowBest({device("a", "A", 2), device("b", "B", 2)}, QStringLiteral("b"))) << "a tie is not worse";
}

} // namespace
