#pragma once

#include "framing/FramingAnalyzer.h"
#include "framing/FramingCoach.h"
#include "framing/FramingCropSpec.h"
#include "framing/FramingReport.h"
#include "framing/FramingRules.h"
#include "framing/LivePreviewSource.h"
#include "platform/system/DispatchQueue.h"
#include "takedata/CameraFrameTap.h"

#include <QImage>
#include <QObject>

#include <cstdint>
#include <memory>
#include <vector>

// The live framing verdict of one camera picture. While it has a frame source it loops on the main thread:
// take the tap's newest frame, analyse it on the monitor's own worker (one analysis in flight at most), step
// the coach and publish the report when it changed, then pause for the interval. Main thread only.
class FramingMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr double normalInterval = 0.17;
    static constexpr double slowInterval = 0.5; // while a take is filming

    // Analyses with the dlib face detector.
    explicit FramingMonitor(QObject* parent = nullptr);
    explicit FramingMonitor(std::shared_ptr<FramingAnalyzer> analyzer, QObject* parent = nullptr);
    ~FramingMonitor() override;

    const FramingReport& report() const { return report_; }
    const std::vector<FramingCropSpec>& specs() const { return specs_; }
    bool mirrored() const { return mirrored_; }
    // The down-scaled picture of the latest pass; null when it had none.
    const QImage& thumbnail() const { return thumbnail_; }
    double interval() const { return interval_; }
    bool isRunning() const { return loop_ != 0; }
    const FramingCoach& coach() const { return coach_; }
    // The live picture the framing check shows. Only the controller's routing sets it (an object other than
    // the one held is news); the monitor itself never reads it and never opens a camera for it.
    const std::shared_ptr<const LivePreviewSource>& livePreview() const { return livePreview_; }
    void setLivePreview(std::shared_ptr<const LivePreviewSource> source);

    // Hint wording; none means the coach's desk wording. The owner may replace both at any time.
    void setMessageProvider(FramingMessageProvider provider) { messageProvider_ = std::move(provider); }
    void setGoodAdvice(FramingAdvice advice) { goodAdvice_ = std::move(advice); }
    const FramingAdvice& goodAdvice() const { return goodAdvice_; }

    // The one way callers steer the monitor. The same tap again keeps a running loop (and the coach's memory
    // unless the specs changed); another tap restarts it; none stops it and shows the idle report.
    void update(const std::vector<FramingCropSpec>& specs, bool mirrored, std::shared_ptr<CameraFrameTap> source,
        bool slow);
    // No capture device exists: the next update without a tap shows the no-camera report, not the waiting one.
    void setCameraMissing(bool missing) { cameraMissing_ = missing; }

Q_SIGNALS:
    void reportChanged();
    void specsChanged();
    void mirroredChanged();
    void thumbnailChanged(); // every pass, changed or not
    void livePreviewChanged();
    void changed();

private:
    void start();
    void pass(uint64_t loop);
    void finishPass(uint64_t loop, const std::optional<FramingAnalyzer::Result>& result);
    void publishReport(const FramingReport& report);
    void publishThumbnail(const QImage& thumbnail);

    std::shared_ptr<FramingAnalyzer> analyzer_;
    FramingCoach coach_;
    FramingReport report_ = FramingReport::idle();
    std::vector<FramingCropSpec> specs_;
    bool mirrored_ = true;
    bool cameraMissing_ = false;
    QImage thumbnail_;
    std::shared_ptr<const LivePreviewSource> livePreview_;
    std::shared_ptr<CameraFrameTap> source_;
    double interval_ = normalInterval;
    FramingMessageProvider messageProvider_;
    FramingAdvice goodAdvice_{FramingStatus::good, {QStringLiteral("Looks good ✓")}};
    uint64_t loop_ = 0; // the running loop's number; 0 = none. A pass of any other number ends quietly.
    uint64_t lastLoop_ = 0;
    DispatchQueue worker_{"framing-analyze"}; // last: joined first, before the analyser goes
};
