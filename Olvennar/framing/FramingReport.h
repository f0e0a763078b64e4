#pragma once

#include "platform/system/Permissions.h"

#include "framing/CropMetrics.h"
#include "framing/FaceMeasurement.h"
#include "framing/ResolvedFramingCrop.h"

#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

enum class FramingStatus { unknown, good, adjust, fix }; // ordered by severity

struct FramingAdvice {
    FramingStatus status = FramingStatus::unknown;
    QStringList hints;

    bool operator==(const FramingAdvice&) const = default;
};

// The verdict over every crop of one camera picture.
struct FramingReport {
    FramingAdvice overall;
    std::vector<FramingAdvice> perCrop;           // one per resolved crop
    std::vector<std::optional<CropMetrics>> metrics; // none where no face was measured
    std::vector<ResolvedFramingCrop> crops;
    std::optional<FaceMeasurement> face;
    QSizeF cameraSize;

    bool operator==(const FramingReport&) const = default;

    // Published while no camera feeds the monitor.
    static FramingReport idle()
    {
        FramingReport report;
        report.overall = {FramingStatus::unknown, {QStringLiteral("Waiting for the camera…")}};
        report.cameraSize = QSizeF(0, 0);
        return report;
    }

    // Published while no camera exists on the machine: said as missing instead of waited for.
    static FramingReport noCamera()
    {
        FramingReport report = idle();
        report.overall.hints = {Permissions::noCameraFound};
        return report;
    }
};
