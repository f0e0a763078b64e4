#include "platform/system/JsonBounds.h"

#include <gtest/gtest.h>

TEST(JsonBounds, eachBoundRefusesOnlyPastItWhileSignsInsideTextsCountForNothing)
{
    const JsonBounds bounds{6, 8, 3, 1024 * 1024 * 1024};
    const struct {
        QByteArray text;
        const char* said; // nothing: within every bound
    } cases[] = {
        {R"({"a":[1,2],"b":3})", nullptr},
        {R"({"a":[1,2,3],"b":3})", "holding more than 6 values"},
        {R"(["[{,:]}", [[0]]])", nullptr},
        {R"(["123456789"])", "holding a text of more than 8 bytes"},
        {R"(["1234\"6789"])", "holding a text of more than 8 bytes"},
        {R"(["\\",[[[0]]]])", "nested more than 3 deep"},
        {"[\"123456789", "holding a text of more than 8 bytes"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.text.toStdString());
        EXPECT_EQ(bounds.exceededBy(each.text).value_or(QString()), QString::fromLatin1(each.said ? each.said : ""));
    }
}
