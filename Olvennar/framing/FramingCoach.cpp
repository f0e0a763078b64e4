#include "framing/FramingCoach.h"

#include <algorithm>

namespace {

FramingAdvice adviceFor(const std::vector<FramingIssue>& issues, const FramingAdvice& good, QStringList hints)
{
    if (issues.empty())
        return good;
    const bool major = std::any_of(issues.begin(), issues.end(), [](const FramingIssue& issue) { return issue.major; });
    return {major ? FramingStatus::fix : FramingStatus::adjust, hints};
}

void byKind(std::vector<FramingIssue>& issues)
{
    std::stable_sort(issues.begin(), issues.end(),
        [](const FramingIssue& a, const FramingIssue& b) { return a.kind < b.kind; });
}

// The face leaves the crop: say which way to move while it is small enough to fit, else that it is too close.
void replaceOutOfCrop(std::vector<FramingIssue>& issues, const CropMetrics& metrics)
{
    const auto has = [&issues](FramingIssueKind kind) {
        return std::any_of(issues.begin(), issues.end(), [kind](const FramingIssue& issue) { return issue.kind == kind; });
    };
    if (!has(FramingIssueKind::outOfCrop))
        return;
    std::erase_if(issues, [](const FramingIssue& issue) {
        return issue.kind == FramingIssueKind::outOfCrop || issue.kind == FramingIssueKind::offLeft
            || issue.kind == FramingIssueKind::offRight;
    });
    if (metrics.faceWidth < 0.8) {
        issues.push_back({metrics.centreX >= 0.5 ? FramingIssueKind::offRight : FramingIssueKind::offLeft, 1.0, true});
    } else {
        std::erase_if(issues, [](const FramingIssue& issue) {
            return issue.kind == FramingIssueKind::tooClose || issue.kind == FramingIssueKind::tooFar;
        });
        issues.push_back({FramingIssueKind::tooClose, 1.0, true});
    }
}

} // namespace

void FramingCoach::reset()
{
    face_.reset();
    lastFaceTime_ = -std::numeric_limits<double>::infinity();
    active_.clear();
    shown_.clear();
    pending_.clear();
}

FramingReport FramingCoach::step(const std::optional<FrameReading>& reading, const std::vector<FramingCropSpec>& specs,
    bool mirrored, double now, bool instant, const FramingMessageProvider& message, const FramingAdvice& good)
{
    if (!reading)
        return FramingReport::idle();

    FramingMessageProvider provider = message;
    if (!provider) {
        const bool fullFrameOnly = specs.size() == 1 && specs.front().kind() == FramingCropSpec::Kind::fullFrame;
        provider = fullFrameOnly ? FramingRules::fullFrameMessage : FramingRules::message;
    }

    FramingReport report;
    report.cameraSize = reading->cameraSize;
    for (const FramingCropSpec& cropSpec : specs) {
        if (auto crop = cropSpec.resolve(reading->cameraSize))
            report.crops.push_back(*crop);
    }

    // A detector that cannot run has not looked: no verdict, and no "can't see your face" either.
    if (!reading->faceCheckAvailable) {
        const FramingAdvice unavailable{FramingStatus::unknown, {faceCheckUnavailableHint()}};
        report.overall = unavailable;
        report.perCrop.assign(report.crops.size(), unavailable);
        report.metrics.assign(report.crops.size(), std::nullopt);
        return report;
    }

    if (!reading->face) {
        if (instant || now - lastFaceTime_ > faceLostAfter)
            face_.reset();
    } else {
        if (instant || !face_ || now - lastFaceTime_ > faceLostAfter)
            face_ = *reading->face;
        else
            face_ = blend(*face_, *reading->face, smoothing);
        lastFaceTime_ = now;
    }
    report.face = face_;

    std::vector<std::vector<FramingIssue>> cropIssues;
    for (const ResolvedFramingCrop& crop : report.crops) {
        std::vector<FramingIssue> issues;
        std::optional<CropMetrics> metrics;
        if (!face_) {
            issues.push_back({FramingIssueKind::noFace, 1.0, true});
        } else {
            const std::set<FramingIssueKind> before = instant ? std::set<FramingIssueKind>{} : active_[crop.cropSpec];
            FramingRules::Evaluation evaluation = FramingRules::evaluate(
                *reading, *face_, crop, [&before](FramingIssueKind kind) { return before.count(kind) > 0; });
            std::set<FramingIssueKind> held;
            for (const FramingIssue& issue : evaluation.issues)
                held.insert(issue.kind);
            active_[crop.cropSpec] = std::move(held);
            issues = std::move(evaluation.issues);
            metrics = evaluation.metrics;
            replaceOutOfCrop(issues, *metrics);
        }
        byKind(issues);

        QStringList hints;
        for (const FramingIssue& issue : issues) {
            const QString text = provider(issue.kind, issue.major, mirrored, std::nullopt);
            if (!hints.contains(text) && hints.size() < 2)
                hints.append(text);
        }
        report.perCrop.push_back(adviceFor(issues, good, hints));
        report.metrics.push_back(metrics);
        cropIssues.push_back(std::move(issues));
    }

    // One entry per kind over all crops, remembering which crops hold it.
    std::vector<Entry> entries;
    for (size_t index = 0; index < report.crops.size(); ++index) {
        for (const FramingIssue& issue : cropIssues[index]) {
            auto found = std::find_if(entries.begin(), entries.end(),
                [&issue](const Entry& entry) { return entry.issue.kind == issue.kind; });
            if (found == entries.end()) {
                entries.push_back({issue, {report.crops[index].name()}});
            } else {
                found->issue.excess = std::max(found->issue.excess, issue.excess);
                found->issue.major = found->issue.major || issue.major;
                found->crops.append(report.crops[index].name());
            }
        }
    }
    // Crops may disagree (too large for one, too small for another): the major one wins, else the larger excess.
    for (size_t index = 0; index < entries.size(); ++index) {
        const auto opposite = FramingIssueKinds::opposite(entries[index].issue.kind);
        if (!opposite)
            continue;
        auto other = std::find_if(entries.begin(), entries.end(),
            [&](const Entry& entry) { return entry.issue.kind == *opposite; });
        if (other == entries.end())
            continue;
        const FramingIssue& mine = entries[index].issue;
        const FramingIssue& theirs = other->issue;
        const bool dropMine = mine.major != theirs.major ? theirs.major : mine.excess < theirs.excess;
        if (dropMine) {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
            --index;
        } else {
            const bool before = other < entries.begin() + static_cast<std::ptrdiff_t>(index);
            entries.erase(other);
            if (before)
                --index;
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
        [](const Entry& a, const Entry& b) { return a.issue.kind < b.issue.kind; });
    std::stable_partition(entries.begin(), entries.end(), [](const Entry& entry) { return entry.issue.major; });

    if (report.crops.empty()) {
        // Nothing could be placed on this camera picture: there is nothing to call good.
        report.overall = {FramingStatus::unknown, {}};
    } else if (entries.empty()) {
        report.overall = good;
    } else {
        const bool major = entries.front().issue.major;
        report.overall = {major ? FramingStatus::fix : FramingStatus::adjust,
            lines(entries, mirrored, static_cast<int>(report.crops.size()), provider)};
    }

    if (!instant) {
        report.overall = debounce(QStringLiteral("all"), report.overall, now);
        for (size_t index = 0; index < report.crops.size(); ++index)
            report.perCrop[index] = debounce(report.crops[index].name(), report.perCrop[index], now);
    }
    return report;
}

FaceMeasurement FramingCoach::blend(const FaceMeasurement& a, const FaceMeasurement& b, double t)
{
    auto mix = [t](double from, double to) { return from + (to - from) * t; };
    auto mixPoint = [&mix](const QPointF& from, const QPointF& to) {
        return QPointF(mix(from.x(), to.x()), mix(from.y(), to.y()));
    };
    FaceMeasurement result = b;
    result.face = QRectF(mix(a.face.x(), b.face.x()), mix(a.face.y(), b.face.y()), mix(a.face.width(), b.face.width()),
        mix(a.face.height(), b.face.height()));
    if (a.eyes && b.eyes)
        result.eyes = std::make_pair(mixPoint(a.eyes->first, b.eyes->first), mixPoint(a.eyes->second, b.eyes->second));
    result.rollDegrees = mix(a.rollDegrees, b.rollDegrees);
    return result;
}

QStringList FramingCoach::lines(const std::vector<Entry>& entries, bool mirrored, int cropCount,
    const FramingMessageProvider& message)
{
    QStringList result;
    for (const Entry& entry : entries) {
        std::optional<QString> where;
        if (cropCount >= 2 && !entry.crops.isEmpty() && entry.crops.size() < cropCount)
            where = entry.crops.join(QStringLiteral(", "));
        const QString text = message(entry.issue.kind, entry.issue.major, mirrored, where);
        if (!result.contains(text))
            result.append(text);
        if (result.size() == 2)
            break;
    }
    return result;
}

FramingAdvice FramingCoach::debounce(const QString& key, const FramingAdvice& advice, double now)
{
    auto shown = shown_.find(key);
    if (shown == shown_.end()) {
        shown_[key] = {advice, now};
        return advice;
    }
    if (advice == shown->second.advice) {
        pending_.erase(key);
        return advice;
    }
    auto pending = pending_.find(key);
    if (pending != pending_.end() && pending->second.advice == advice) {
        if (now - pending->second.since >= settle && now - shown->second.since >= minShow) {
            shown->second = {advice, now};
            pending_.erase(pending);
            return advice;
        }
        return shown->second.advice;
    }
    pending_[key] = {advice, now};
    return shown->second.advice;
}
