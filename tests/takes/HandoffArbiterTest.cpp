#include "takes/HandoffArbiter.h"

#include <gtest/gtest.h>

namespace {

// Stands in for the short handoff record: the arbiter reads only these fields.
struct ShortHandoff {
    QString scriptID;
    QString writtenAtText;
    QDateTime writtenAt;
};

using Choice = HandoffArbiter::Decision::Choice;

const QDateTime base(QDate(2026, 12, 5), QTime(10, 0), Qt::UTC);

ShortHandoff shortAt(int seconds) { return ShortHandoff{QStringLiteral("hook"), QStringLiteral("t%1").arg(seconds), base.addSecs(seconds)}; }

NextRecording recordingAt(int seconds)
{
    NextRecording record;
    record.videoFolder = QStringLiteral("/p/video 3");
    record.writtenAtText = QStringLiteral("r%1").arg(seconds);
    record.writtenAt = base.addSecs(seconds);
    return record;
}

TEST(HandoffArbiter, DecisionTable)
{
    const ShortHandoff take = shortAt(0);
    const QString takeToken = QStringLiteral("hook|t0");
    const NextRecording later = recordingAt(5);
    const NextRecording same = recordingAt(0);
    const NextRecording earlier = recordingAt(-5);
    const QString laterToken = QStringLiteral("/p/video 3|r5");
    const std::optional<QString> none;

    const struct {
        const char* name;
        std::optional<ShortHandoff> take;
        std::optional<QString> takeHandled;
        std::optional<NextRecording> recording;
        std::optional<QString> recordingHandled;
        HandoffArbiter::Decision expected;
    } cases[] = {
        {"nothing", std::nullopt, none, std::nullopt, none, {Choice::none, false, false}},
        {"only recording", std::nullopt, none, later, none, {Choice::recording, false, false}},
        {"only take", take, none, std::nullopt, none, {Choice::take, false, false}},
        {"recording later", take, none, later, none, {Choice::recording, true, false}},
        {"equal times go to the short", take, none, same, none, {Choice::take, false, true}},
        {"recording earlier", take, none, earlier, none, {Choice::take, false, true}},
        {"handled take, new recording", take, takeToken, later, none, {Choice::recording, false, false}},
        {"handled take, earlier recording", take, takeToken, earlier, none, {Choice::recording, false, false}},
        {"handled recording, new take", take, none, later, laterToken, {Choice::take, false, false}},
        {"both handled", take, takeToken, later, laterToken, {Choice::none, false, false}},
        {"handled take alone", take, takeToken, std::nullopt, none, {Choice::none, false, false}},
        {"handled recording alone", std::nullopt, none, later, laterToken, {Choice::none, false, false}},
        {"another token remembered", take, QStringLiteral("hook|older"), later, QStringLiteral("/p/video 3|r1"), {Choice::recording, true, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HandoffArbiter::decide(c.take, c.takeHandled, c.recording, c.recordingHandled), c.expected) << c.name;
}

} // namespace
