#pragma once

#include "framing/FrameReading.h"
#include "framing/FramingCropSpec.h"
#include "framing/FramingIssue.h"
#include "framing/FramingReport.h"
#include "framing/FramingRules.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

// Turns a stream of readings into the report the windows show: smooths the face, judges every crop, merges
// the crops' issues into one short advice and holds what is shown long enough to be read. Main thread only.
class FramingCoach {
public:
    double smoothing = 0.35;   // share of the new face taken per step
    double settle = 1.0;       // s a changed advice must hold before it shows
    double minShow = 1.6;      // s a shown advice stays at least
    double faceLostAfter = 1.2; // s the last face stays in use when none is seen

    // Shown instead of any verdict while the face detector cannot run.
    static QString faceCheckUnavailableHint() { return QStringLiteral("Face check unavailable — the face model could not be loaded"); }

    void reset();

    // `now`: seconds of a monotonic clock. `instant` switches off hysteresis, smoothing, the face-lost grace
    // and debouncing for this step. Without a provider the desk wording is used (the full-frame one when the
    // whole frame is the only crop).
    FramingReport step(const std::optional<FrameReading>& reading, const std::vector<FramingCropSpec>& specs,
        bool mirrored, double now, bool instant, const FramingMessageProvider& message, const FramingAdvice& good);

    const std::optional<FaceMeasurement>& face() const { return face_; }

    struct Entry {
        FramingIssue issue;
        QStringList crops;
    };
    static FaceMeasurement blend(const FaceMeasurement& a, const FaceMeasurement& b, double t);
    static QStringList lines(const std::vector<Entry>& entries, bool mirrored, int cropCount,
        const FramingMessageProvider& message);

private:
    struct Shown {
        FramingAdvice advice;
        double since = 0;
    };
    FramingAdvice debounce(const QString& key, const FramingAdvice& advice, double now);

    std::optional<FaceMeasurement> face_;
    double lastFaceTime_ = -std::numeric_limits<double>::infinity();
    std::unordered_map<FramingCropSpec, std::set<FramingIssueKind>> active_;
    std::unordered_map<QString, Shown> shown_;
    std::unordered_map<QString, Shown> pending_;
};
