#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class SettingsTest : public SandboxTest { };

TEST_F(SettingsTest, ValuesRoundTripThroughTheFile)
{
    settings->setBool(QStringLiteral("ownCursor"), true);
    settings->setDouble(QStringLiteral("zoomAmount"), 1.9);
    settings->setInteger(QStringLiteral("count"), -42);
    settings->setString(QStringLiteral("modeSetting.microphone.Just me"), QStringLiteral("alsa_input.usb"));
    settings->setStringList(QStringLiteral("tokens"), {QStringLiteral("a"), QStringLiteral("b,c")});

    Settings reopened(settings->filePath());
    EXPECT_EQ(reopened.boolValue(QStringLiteral("ownCursor")), true);
    EXPECT_EQ(reopened.doubleValue(QStringLiteral("zoomAmount")), 1.9);
    EXPECT_EQ(reopened.integerValue(QStringLiteral("count")), -42);
    EXPECT_EQ(reopened.stringValue(QStringLiteral("modeSetting.microphone.Just me")), QStringLiteral("alsa_input.usb"));
    EXPECT_EQ(reopened.stringListValue(QStringLiteral("tokens")), (QStringList{QStringLiteral("a"), QStringLiteral("b,c")}));
}

TEST_F(SettingsTest, ValuesOfAnotherTypeAreAbsentSoCallersFallBack)
{
    settings->setString(QStringLiteral("flag"), QStringLiteral("yes"));
    settings->setString(QStringLiteral("number"), QStringLiteral("12abc"));
    settings->setString(QStringLiteral("nan"), QStringLiteral("nan"));
    settings->setString(QStringLiteral("inf"), QStringLiteral("inf"));
    settings->setStringList(QStringLiteral("list"), {QStringLiteral("1"), QStringLiteral("2")});

    EXPECT_FALSE(settings->boolValue(QStringLiteral("flag")));
    EXPECT_TRUE(settings->boolValue(QStringLiteral("flag"), true));
    EXPECT_FALSE(settings->doubleValue(QStringLiteral("number")));
    EXPECT_FALSE(settings->doubleValue(QStringLiteral("nan")));
    EXPECT_FALSE(settings->doubleValue(QStringLiteral("inf")));
    EXPECT_FALSE(settings->integerValue(QStringLiteral("number")));
    EXPECT_FALSE(settings->doubleValue(QStringLiteral("list")));
    EXPECT_FALSE(settings->boolValue(QStringLiteral("missing")));
    EXPECT_DOUBLE_EQ(settings->doubleValue(QStringLiteral("missing"), 260), 260);
    settings->setString(QStringLiteral("size"), QStringLiteral(" 260 "));
    EXPECT_EQ(settings->doubleValue(QStringLiteral("size")), 260);
}

} // namespace
