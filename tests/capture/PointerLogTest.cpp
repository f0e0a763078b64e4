#include "capture/PointerLog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>

namespace {

PointerLog sampleLog()
{
    PointerLog log;
    log.systemCursorInCapture = true;
    log.samples = {{0, 0.5, 0.25}, {0.0167, 0.5001, 0.2499}};
    log.shapes = {{0.1, 0.17, 0.17, 24, 0}};
    log.keys = std::vector<double>{1.5, 1.5};
    log.zoomMarks = PointerLog::Records{{1.25, 1, 0.5, 0.5}};
    log.windows = PointerLog::Records{{0.2, 0.1, 0.2, 0.5, 0.6}};
    return log;
}

TEST(PointerLog, RoundsHalfAwayFromZero)
{
    struct Case {
        double value;
        int places;
        double expected;
    };
    for (const Case& c : {Case{0.125, 2, 0.13}, Case{-0.125, 2, -0.13}, Case{2.5, 0, 3}, Case{-2.5, 0, -3},
             Case{1.0625, 3, 1.063}, Case{-1.0625, 3, -1.063}, Case{23.49, 0, 23}, Case{0.33333333, 4, 0.3333},
             Case{0.66666666, 4, 0.6667}, Case{0.0, 4, 0.0}})
        EXPECT_DOUBLE_EQ(PointerLog::rounded(c.value, c.places), c.expected) << c.value << " to " << c.places;
}

TEST(PointerLog, EncodesCompactWithSortedKeys)
{
    const auto json = sampleLog().encoded();
    ASSERT_TRUE(json);
    EXPECT_EQ(*json,
        QByteArray(R"({"clickSpace":"capture","keys":[1.5,1.5],"samples":[[0,0.5,0.25],[0.0167,0.5001,0.2499]],)"
                   R"("shapes":[[0.1,0.17,0.17,24,0]],"space":"capture","systemCursorInCapture":true,"version":1,)"
                   R"("windows":[[0.2,0.1,0.2,0.5,0.6]],"zoomMarks":[[1.25,1,0.5,0.5]]})"));
}

TEST(PointerLog, WritesAllNineKeysEvenWhenEmpty)
{
    PointerLog log;
    log.keys.emplace();
    log.zoomMarks.emplace();
    log.windows.emplace();
    const QJsonObject object = QJsonDocument::fromJson(*log.encoded()).object();
    EXPECT_EQ(object.keys(),
        (QStringList{"clickSpace", "keys", "samples", "shapes", "space", "systemCursorInCapture", "version", "windows",
            "zoomMarks"}));
    EXPECT_FALSE(object.value("systemCursorInCapture").toBool());
}

TEST(PointerLog, NonFiniteValueCannotBeEncoded)
{
    PointerLog log = sampleLog();
    log.windows->push_back({1.0, std::numeric_limits<double>::infinity(), 0, 0.5, 0.5});
    EXPECT_FALSE(log.encoded());
    log = sampleLog();
    log.samples[0][1] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(log.encoded());
}

TEST(PointerLog, ReadsBackWhatItWrites)
{
    const PointerLog log = sampleLog();
    const auto decoded = PointerLog::decoded(*log.encoded());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, log);
}

TEST(PointerLog, ReadingNeedsTheFirstSixKeysOnly)
{
    const QByteArray minimal
        = R"({"version":1,"space":"capture","clickSpace":"capture","systemCursorInCapture":false,"samples":[],"shapes":[]})";
    const auto log = PointerLog::decoded(minimal);
    ASSERT_TRUE(log);
    EXPECT_FALSE(log->keys);
    EXPECT_FALSE(log->zoomMarks);
    EXPECT_FALSE(log->windows);
    EXPECT_TRUE(log->marks().empty());
    EXPECT_TRUE(PointerLog::decoded(R"({"version":1,"space":"capture","clickSpace":"capture",)"
                                    R"("systemCursorInCapture":false,"samples":[],"shapes":[],"keys":null})"));

    for (const char* broken : {
             R"({"space":"capture","clickSpace":"capture","systemCursorInCapture":false,"samples":[],"shapes":[]})",
             R"({"version":"1","space":"capture","clickSpace":"capture","systemCursorInCapture":false,"samples":[],"shapes":[]})",
             R"({"version":1.5,"space":"capture","clickSpace":"capture","systemCursorInCapture":false,"samples":[],"shapes":[]})",
             R"({"version":1,"space":"capture","clickSpace":"capture","systemCursorInCapture":0,"samples":[],"shapes":[]})",
             R"({"version":1,"space":"capture","clickSpace":"capture","systemCursorInCapture":false,"samples":[[0,"a",1]],"shapes":[]})",
             R"({"version":1,"space":"capture","clickSpace":"capture","systemCursorInCapture":false,"samples":[],"shapes":[],"keys":[[1]]})",
             R"({"version":1,"space":"capture","clickSpace":"capture","systemCursorInCapture":false,"samples":[],"shapes":[],"windows":{}})",
             R"([1,2])", "not json"})
        EXPECT_FALSE(PointerLog::decoded(broken)) << broken;
}

} // namespace
