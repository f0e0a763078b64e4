#include "framing/FramingRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace FramingRules {

namespace {

bool holds(const std::vector<FramingIssue>& issues, FramingIssueKind kind)
{
    return std::any_of(issues.begin(), issues.end(), [kind](const FramingIssue& issue) { return issue.kind == kind; });
}

void removeAll(std::vector<FramingIssue>& issues, FramingIssueKind kind)
{
    std::erase_if(issues, [kind](const FramingIssue& issue) { return issue.kind == kind; });
}

void cleanUp(std::vector<FramingIssue>& issues, double headTop)
{
    // Opposites: the weaker one goes; on equal excess both stay.
    const std::vector<FramingIssue> before = issues;
    std::erase_if(issues, [&before](const FramingIssue& issue) {
        const auto opposite = FramingIssueKinds::opposite(issue.kind);
        return opposite && std::any_of(before.begin(), before.end(), [&](const FramingIssue& other) {
            return other.kind == *opposite && other.excess > issue.excess;
        });
    });
    // A face too large explains a cut head: moving back fixes both, and then it is urgent.
    if (holds(issues, FramingIssueKind::tooClose)) {
        removeAll(issues, FramingIssueKind::headCut);
        if (headTop < 0) {
            for (FramingIssue& issue : issues) {
                if (issue.kind == FramingIssueKind::tooClose)
                    issue.major = true;
            }
        }
    }
    if (holds(issues, FramingIssueKind::headCut))
        removeAll(issues, FramingIssueKind::eyesHigh);
    if (holds(issues, FramingIssueKind::chinCut)) {
        removeAll(issues, FramingIssueKind::tooClose);
        removeAll(issues, FramingIssueKind::eyesLow);
    }
}

QString side(FramingIssueKind kind, bool mirrored)
{
    const bool left = (kind == FramingIssueKind::offLeft) != mirrored;
    return left ? QStringLiteral("left") : QStringLiteral("right");
}

QString withCrops(const QString& text, const std::optional<QString>& where)
{
    return where ? text + QStringLiteral(" (") + *where + QStringLiteral(")") : text;
}

} // namespace

Evaluation evaluate(const FrameReading& reading, const FaceMeasurement& face, const ResolvedFramingCrop& crop,
    const std::function<bool(FramingIssueKind)>& wasActive)
{
    const QRectF& r = crop.region;
    const FramingTarget& t = crop.target;
    const QRectF& f = face.face;

    const double localX = (f.x() - r.x()) / r.width();
    const double localY = (f.y() - r.y()) / r.height();
    const double localW = f.width() / r.width();
    const double localH = f.height() / r.height();
    const double eyeLine = face.eyes ? (face.eyes->first.y() + face.eyes->second.y()) / 2 : f.y() + 0.33 * f.height();

    CropMetrics m;
    m.faceHeight = localH;
    m.faceWidth = localW;
    m.centreX = localX + localW / 2;
    m.chin = localY + localH;
    m.eyeY = (eyeLine - r.y()) / r.height();
    m.headTop = ((f.y() - 0.4 * f.height()) - r.y()) / r.height();
    m.roll = face.rollDegrees;

    const LumaMap::Stats faceLight = reading.luma.stats(
        QRectF(f.x() + 0.22 * f.width(), f.y() + 0.3 * f.height(), 0.56 * f.width(), 0.55 * f.height()));
    const LumaMap::Stats background = reading.luma.stats(QRectF(0, 0, 1, 1),
        QRectF(f.center().x() - 1.7 * f.width(), f.y() - 0.45 * f.height(), 3.4 * f.width(), 10));
    m.faceLuma = faceLight.mean;
    m.backgroundLuma = background.mean;
    m.backgroundBright = background.bright;

    // d above the raise threshold raises the issue; while it was active, the looser keep threshold holds it.
    // Light measures come in single precision and are compared so, thresholds included.
    std::vector<FramingIssue> issues;
    auto rule = [&](FramingIssueKind kind, auto d, decltype(d) raise, decltype(d) keep, decltype(d) majorAbove) {
        if (d > (wasActive(kind) ? keep : raise))
            issues.push_back({kind, std::max(d, decltype(d)(0)), d > majorAbove});
    };
    constexpr double always = -std::numeric_limits<double>::infinity();

    // The head room fires below its thresholds, so it is tested negated.
    rule(FramingIssueKind::headCut, -m.headTop, 0.01, -0.02, always);
    rule(FramingIssueKind::chinCut, m.chin - 1, -0.01, -0.02, always);
    rule(FramingIssueKind::outOfCrop, std::max(localX + localW - 1, -localX), 0.0, -0.03, always);
    rule(FramingIssueKind::tooClose, m.faceHeight - t.faceHeight.upperBound, 0.015, -0.015, 0.08);
    rule(FramingIssueKind::tooFar, t.faceHeight.lowerBound - m.faceHeight, 0.015, -0.015, 0.06);
    rule(FramingIssueKind::eyesLow, m.eyeY - t.eyeBand.upperBound, 0.015, -0.02, 0.1);
    rule(FramingIssueKind::eyesHigh, t.eyeBand.lowerBound - m.eyeY, 0.015, -0.02, 0.1);
    rule(FramingIssueKind::offLeft, (0.5 - m.centreX) - t.centreTolerance, 0.01, -0.02, 0.12);
    rule(FramingIssueKind::offRight, (m.centreX - 0.5) - t.centreTolerance, 0.01, -0.02, 0.12);
    rule(FramingIssueKind::tilted, (std::abs(m.roll) - 5) / 10, 0.0, -0.1, 0.4);
    if (faceLight.count >= 1) {
        rule(FramingIssueKind::tooDark, 0.26f - m.faceLuma, 0.0f, -0.03f, 0.1f);
        rule(FramingIssueKind::washedOut, m.faceLuma - 0.86f, 0.0f, -0.03f, 0.08f);
        if (background.count >= 12 && background.bright > 0.82f)
            rule(FramingIssueKind::backlit, m.backgroundLuma - m.faceLuma - 0.2f, 0.0f, -0.04f, 0.12f);
    }

    cleanUp(issues, m.headTop);
    return {issues, m};
}

QString message(FramingIssueKind kind, bool major, bool mirrored, const std::optional<QString>& where)
{
    switch (kind) {
    case FramingIssueKind::noFace: return QStringLiteral("Can't see your face — sit in front of the camera");
    case FramingIssueKind::headCut: return withCrops(QStringLiteral("Your head is cut off — tilt the camera up"), where);
    case FramingIssueKind::chinCut: return withCrops(QStringLiteral("Your chin is cut off — move back"), where);
    case FramingIssueKind::outOfCrop: return withCrops(QStringLiteral("You're running out of the frame"), where);
    case FramingIssueKind::tooDark: return QStringLiteral("Too dark — add a light in front of you");
    case FramingIssueKind::backlit: return QStringLiteral("Too much light behind you — face the window or lamp");
    case FramingIssueKind::washedOut: return QStringLiteral("Too bright on your face — soften the light");
    case FramingIssueKind::tooClose:
        return withCrops(major ? QStringLiteral("Move back — too close") : QStringLiteral("Move back a little — too close"), where);
    case FramingIssueKind::tooFar:
        return withCrops(major ? QStringLiteral("Move closer — too far") : QStringLiteral("Move a little closer"), where);
    case FramingIssueKind::eyesLow:
        return withCrops(major ? QStringLiteral("Tilt the camera down") : QStringLiteral("Tilt the camera down a little"), where);
    case FramingIssueKind::eyesHigh:
        return withCrops(major ? QStringLiteral("Tilt the camera up") : QStringLiteral("Tilt the camera up a little"), where);
    case FramingIssueKind::offLeft:
    case FramingIssueKind::offRight:
        return withCrops((major ? QStringLiteral("Move to your ") : QStringLiteral("Move a little to your "))
                + side(kind, mirrored),
            where);
    case FramingIssueKind::tilted: return QStringLiteral("Straighten the camera (or your head)");
    }
    return {};
}

QString fullFrameMessage(FramingIssueKind kind, bool major, bool mirrored, const std::optional<QString>& where)
{
    if (kind == FramingIssueKind::tooClose) {
        return withCrops(major ? QStringLiteral("Move back — show your hands and the desk")
                               : QStringLiteral("Move back a little — let your hands show"),
            where);
    }
    return message(kind, major, mirrored, where);
}

QString phoneMessage(FramingIssueKind kind, bool major, bool mirrored, const std::optional<QString>&)
{
    switch (kind) {
    case FramingIssueKind::noFace: return QStringLiteral("Can't see your face — sit in front of the phone");
    case FramingIssueKind::headCut:
        return QStringLiteral("The top of your head is cut off — move down a little in the frame");
    case FramingIssueKind::chinCut: return QStringLiteral("Your chin is cut off — sit back a little");
    case FramingIssueKind::outOfCrop: return QStringLiteral("You're running out of the frame");
    case FramingIssueKind::tooDark: return QStringLiteral("Too dark — add a light in front of you");
    case FramingIssueKind::backlit: return QStringLiteral("Too much light behind you — face the window or lamp");
    case FramingIssueKind::washedOut: return QStringLiteral("Too bright on your face — soften the light");
    case FramingIssueKind::tooClose:
        return major ? QStringLiteral("Too close. Sit back, or turn the iPhone upright for a wider shot")
                     : QStringLiteral("Sit back a little (or turn the iPhone upright)");
    case FramingIssueKind::tooFar:
        return major ? QStringLiteral("Sit closer — you're too far from the phone") : QStringLiteral("Sit a little closer");
    case FramingIssueKind::eyesLow:
        return major ? QStringLiteral("Raise the phone to eye level") : QStringLiteral("Raise the phone a little");
    case FramingIssueKind::eyesHigh:
        return major ? QStringLiteral("Lower the phone to eye level") : QStringLiteral("Lower the phone a little");
    case FramingIssueKind::offLeft:
    case FramingIssueKind::offRight:
        return (major ? QStringLiteral("Move to your ") : QStringLiteral("Move a little to your ")) + side(kind, mirrored);
    case FramingIssueKind::tilted: return QStringLiteral("Straighten the phone");
    }
    return {};
}

} // namespace FramingRules
