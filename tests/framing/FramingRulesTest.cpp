#include "framing/FramingRules.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

using Kind = FramingIssueKind;

// The whole picture as one crop, with round target numbers.
ResolvedFramingCrop wholeCrop()
{
    return {FramingCropSpec::fullFrame(), QRectF(0, 0, 1, 1), 1.0, ResolvedFramingCrop::Mask::rect(),
        {{0.3, 0.4}, {0.2, 0.3}, 0.1, {0.1, 0.2}}};
}

LumaMap uniformLuma(float value, int cells = 20)
{
    return {cells, cells, std::vector<float>(static_cast<size_t>(cells) * cells, value)};
}

// A face that breaks no rule of wholeCrop(): centred, 0.25 tall, eyes at 0.35, head room 0.2, chin 0.55.
FaceMeasurement goodFace()
{
    FaceMeasurement face;
    face.face = QRectF(0.4, 0.3, 0.2, 0.25);
    face.eyes = std::make_pair(QPointF(0.45, 0.35), QPointF(0.55, 0.35));
    return face;
}

FrameReading readingWith(const LumaMap& luma)
{
    FrameReading reading;
    reading.cameraSize = QSizeF(640, 640);
    reading.luma = luma;
    reading.faceCount = 1;
    return reading;
}

void setEyeY(FaceMeasurement& face, double y)
{
    face.eyes = std::make_pair(QPointF(face.face.center().x() - 0.05, y), QPointF(face.face.center().x() + 0.05, y));
}

// Face-region cells at `face`, everything around the person at `background`.
LumaMap backlitLuma(const FaceMeasurement& face, float faceValue, float background)
{
    LumaMap map = uniformLuma(background);
    const QRectF& f = face.face;
    const QRectF person(f.center().x() - 1.7 * f.width(), f.y() - 0.45 * f.height(), 3.4 * f.width(), 10);
    for (int row = 0; row < map.height; ++row) {
        for (int column = 0; column < map.width; ++column) {
            if (person.contains(QPointF((column + 0.5) / map.width, (row + 0.5) / map.height)))
                map.values[static_cast<size_t>(row) * map.width + column] = faceValue;
        }
    }
    return map;
}

struct Probe {
    std::vector<FramingIssue> issues;
    const FramingIssue* find(Kind kind) const
    {
        for (const FramingIssue& issue : issues) {
            if (issue.kind == kind)
                return &issue;
        }
        return nullptr;
    }
};

Probe evaluate(const FaceMeasurement& face, const LumaMap& luma, std::set<Kind> active = {},
    const ResolvedFramingCrop& crop = wholeCrop())
{
    const auto result = FramingRules::evaluate(
        readingWith(luma), face, crop, [&active](Kind kind) { return active.count(kind) > 0; });
    return {result.issues};
}

// One rule: how to put the measure at d, its raise and keep thresholds and where it turns major.
struct RuleCase {
    Kind kind;
    double raise;
    double keep;
    double majorAbove; // NaN: always major
    std::function<void(FaceMeasurement&, LumaMap&, double)> set;
};

TEST(FramingRulesTest, EveryRuleRaisesKeepsAndTurnsMajorAtItsThresholds)
{
    const double always = qQNaN();
    const std::vector<RuleCase> rules = {
        {Kind::headCut, 0.01, -0.02, always, [](FaceMeasurement& f, LumaMap&, double d) { f.face.moveTop(-d + 0.4 * f.face.height()); }},
        {Kind::chinCut, -0.01, -0.02, always, [](FaceMeasurement& f, LumaMap&, double d) { f.face.moveTop(0.75 + d); }},
        {Kind::outOfCrop, 0, -0.03, always, [](FaceMeasurement& f, LumaMap&, double d) { f.face.moveLeft(0.8 + d); setEyeY(f, 0.35); }},
        {Kind::tooClose, 0.015, -0.015, 0.08, [](FaceMeasurement& f, LumaMap&, double d) { f.face.setHeight(0.3 + d); }},
        {Kind::tooFar, 0.015, -0.015, 0.06, [](FaceMeasurement& f, LumaMap&, double d) { f.face.setHeight(0.2 - d); }},
        {Kind::eyesLow, 0.015, -0.02, 0.1, [](FaceMeasurement& f, LumaMap&, double d) { setEyeY(f, 0.4 + d); }},
        {Kind::eyesHigh, 0.015, -0.02, 0.1, [](FaceMeasurement& f, LumaMap&, double d) { setEyeY(f, 0.3 - d); }},
        {Kind::offLeft, 0.01, -0.02, 0.12, [](FaceMeasurement& f, LumaMap&, double d) { f.face.moveLeft(0.4 - d - 0.1); setEyeY(f, 0.35); }},
        {Kind::offRight, 0.01, -0.02, 0.12, [](FaceMeasurement& f, LumaMap&, double d) { f.face.moveLeft(0.5 + d); setEyeY(f, 0.35); }},
        {Kind::tilted, 0, -0.1, 0.4, [](FaceMeasurement& f, LumaMap&, double d) { f.rollDegrees = -(5 + 10 * d); }},
        {Kind::tooDark, 0, -0.03, 0.1, [](FaceMeasurement&, LumaMap& l, double d) { l = uniformLuma(static_cast<float>(0.26 - d)); }},
        {Kind::washedOut, 0, -0.03, 0.08, [](FaceMeasurement&, LumaMap& l, double d) { l = uniformLuma(static_cast<float>(0.86 + d)); }},
        {Kind::backlit, 0, -0.04, 0.12, [](FaceMeasurement& f, LumaMap& l, double d) { l = backlitLuma(f, static_cast<float>(0.7 - d), 0.9f); }},
    };
    constexpr double step = 0.005;
    for (const RuleCase& rule : rules) {
        SCOPED_TRACE(FramingIssueKinds::rawValue(rule.kind));
        auto probe = [&rule](double d, bool active) {
            FaceMeasurement face = goodFace();
            LumaMap luma = uniformLuma(0.5f);
            rule.set(face, luma, d);
            return evaluate(face, luma, active ? std::set<Kind>{rule.kind} : std::set<Kind>{});
        };
        EXPECT_FALSE(probe(rule.raise - step, false).find(rule.kind));
        const Probe raised = probe(rule.raise + step, false);
        ASSERT_TRUE(raised.find(rule.kind));
        EXPECT_NEAR(raised.find(rule.kind)->excess, std::max(rule.raise + step, 0.0), 1e-6);
        EXPECT_TRUE(probe(rule.keep + step, true).find(rule.kind));
        EXPECT_FALSE(probe(rule.keep - step, true).find(rule.kind));
        if (std::isnan(rule.majorAbove)) {
            EXPECT_TRUE(raised.find(rule.kind)->major);
        } else {
            EXPECT_FALSE(probe(rule.majorAbove - step, false).find(rule.kind)->major);
            EXPECT_TRUE(probe(rule.majorAbove + step, false).find(rule.kind)->major);
        }
    }
}

// The wording rules, not the sentences: which hints name the crops, which have a stronger major form, that a
// mirrored preview swaps the sides, that the phone never names crops and the whole frame only rewords too close.
struct Wording {
    Kind kind;
    const char* plain;
    const char* major;
    bool suffix;
};

TEST(FramingRulesTest, DeskWordingTable)
{
    const Wording table[] = {
        {Kind::noFace, "Can't see your face — sit in front of the camera", nullptr, false},
        {Kind::headCut, "Your head is cut off — tilt the camera up", nullptr, true},
        {Kind::chinCut, "Your chin is cut off — move back", nullptr, true},
        {Kind::outOfCrop, "You're running out of the frame", nullptr, true},
        {Kind::tooDark, "Too dark — add a light in front of you", nullptr, false},
        {Kind::backlit, "Too much light behind you — face the window or lamp", nullptr, false},
        {Kind::washedOut, "Too bright on your face — soften the light", nullptr, false},
        {Kind::tooClose, "Move back a little — too close", "Move back — too close", true},
        {Kind::tooFar, "Move a little closer", "Move closer — too far", true},
        {Kind::eyesLow, "Tilt the camera down a little", "Tilt the camera down", true},
        {Kind::eyesHigh, "Tilt the camera up a little", "Tilt the camera up", true},
        {Kind::offLeft, "Move a little to your left", "Move to your left", true},
        {Kind::offRight, "Move a little to your right", "Move to your right", true},
        {Kind::tilted, "Straighten the camera (or your head)", nullptr, false},
    };
    for (const Wording& w : table) {
        const QString plain = QString::fromUtf8(w.plain);
        const QString major = w.major ? QString::fromUtf8(w.major) : plain;
        EXPECT_EQ(FramingRules::message(w.kind, false, false, std::nullopt), plain);
        EXPECT_EQ(FramingRules::message(w.kind, true, false, std::nullopt), major);
        const QString named = FramingRules::message(w.kind, true, false, QStringLiteral("Card, Corner"));
        EXPECT_EQ(named, w.suffix ? major + " (Card, Corner)" : major);
        // The full-frame wording differs only for too close.
        if (w.kind != Kind::tooClose) {
            EXPECT_EQ(FramingRules::fullFrameMessage(w.kind, true, false, QStringLiteral("Face")),
                FramingRules::message(w.kind, true, false, QStringLiteral("Face")));
        }
    }
    EXPECT_EQ(FramingRules::message(Kind::offLeft, false, true, std::nullopt), "Move a little to your right");
    EXPECT_EQ(FramingRules::message(Kind::offRight, true, true, std::nullopt), "Move to your left");
    EXPECT_EQ(FramingRules::fullFrameMessage(Kind::tooClose, false, false, std::nullopt), "Move back a little — let your hands show");
    EXPECT_EQ(FramingRules::fullFrameMessage(Kind::tooClose, true, false, QStringLiteral("Full frame")),
        "Move back — show your hands and the desk (Full frame)");
}

TEST(FramingRulesTest, WordingNamesCropsStrengthensMajorsAndMirrorsSides)
{
    const std::set<Kind> namesCrops = {Kind::headCut, Kind::chinCut, Kind::outOfCrop, Kind::tooClose, Kind::tooFar,
        Kind::eyesLow, Kind::eyesHigh, Kind::offLeft, Kind::offRight};
    const std::set<Kind> hasMajor = {Kind::tooClose, Kind::tooFar, Kind::eyesLow, Kind::eyesHigh, Kind::offLeft, Kind::offRight};
    const QString where = QStringLiteral("Card, Corner");
    for (int raw = 0; raw < FramingIssueKinds::caseCount; ++raw) {
        const Kind kind = *FramingIssueKinds::fromRawValue(raw);
        SCOPED_TRACE(raw);
        const QString plain = FramingRules::message(kind, false, false, std::nullopt);
        const QString major = FramingRules::message(kind, true, false, std::nullopt);
        EXPECT_FALSE(plain.isEmpty());
        EXPECT_EQ(plain != major, hasMajor.count(kind) > 0);
        EXPECT_EQ(FramingRules::message(kind, true, false, where), namesCrops.count(kind) ? major + " (Card, Corner)" : major);
        const QString phonePlain = FramingRules::phoneMessage(kind, false, false, std::nullopt);
        EXPECT_EQ(phonePlain != FramingRules::phoneMessage(kind, true, false, std::nullopt), hasMajor.count(kind) > 0);
        EXPECT_EQ(FramingRules::phoneMessage(kind, false, false, where), phonePlain);
        EXPECT_EQ(FramingRules::fullFrameMessage(kind, true, false, where) != FramingRules::message(kind, true, false, where),
            kind == Kind::tooClose);
    }
    EXPECT_EQ(FramingRules::message(Kind::offLeft, false, false, std::nullopt), "Move a little to your left");
    EXPECT_EQ(FramingRules::message(Kind::offLeft, false, true, std::nullopt), "Move a little to your right");
    EXPECT_EQ(FramingRules::message(Kind::offRight, true, true, std::nullopt), "Move to your left");
    EXPECT_EQ(FramingRules::phoneMessage(Kind::offLeft, false, true, std::nullopt), "Move a little to your right");
    EXPECT_EQ(FramingRules::phoneMessage(Kind::offRight, true, true, std::nullopt), "Move to your left");
    EXPECT_EQ(FramingRules::fullFrameMessage(Kind::tooClose, true, false, QStringLiteral("Full frame")),
        "Move back — show your hands and the desk (Full frame)");
}

} // namespace
