#include "framing/FramingMonitor.h"

#include "platform/system/HostClock.h"
#include "platform/system/ThisThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace {

// The monitor looks at one camera again and again: its analyser follows the face between whole-picture looks.
std::shared_ptr<FramingAnalyzer> followingAnalyzer()
{
    auto analyzer = std::make_shared<FramingAnalyzer>();
    analyzer->setFollowsFace(true);
    return analyzer;
}

} // namespace

FramingMonitor::FramingMonitor(QObject* parent) : FramingMonitor(followingAnalyzer(), parent) {}

FramingMonitor::FramingMonitor(std::shared_ptr<FramingAnalyzer> analyzer, QObject* parent)
    : QObject(parent), analyzer_(std::move(analyzer))
{
    // Face analysis is background work: it yields to a take's capture and writers.
    worker_.async([] { ThisThread::lowerPriority(); });
}

FramingMonitor::~FramingMonitor() = default;

void FramingMonitor::update(const std::vector<FramingCropSpec>& specs, bool mirrored,
    std::shared_ptr<CameraFrameTap> source, bool slow)
{
    if (specs != specs_) {
        specs_ = specs;
        coach_.reset();
        Q_EMIT specsChanged();
        Q_EMIT changed();
    }
    if (mirrored != mirrored_) {
        mirrored_ = mirrored;
        Q_EMIT mirroredChanged();
        Q_EMIT changed();
    }
    // A running loop takes the new pause at its next sleep.
    interval_ = slow ? slowInterval : normalInterval;

    const std::shared_ptr<CameraFrameTap> previous = std::exchange(source_, std::move(source));
    if (source_) {
        if (previous == source_ && loop_ != 0)
            return;
        coach_.reset();
        start();
        return;
    }
    loop_ = 0;
    const FramingReport idle = cameraMissing_ ? FramingReport::noCamera() : FramingReport::idle();
    if (report_ != idle)
        publishReport(idle);
    publishThumbnail(QImage());
    coach_.reset();
}

void FramingMonitor::start()
{
    loop_ = ++lastLoop_;
    const uint64_t loop = loop_;
    QTimer::singleShot(0, this, [this, loop] { pass(loop); });
}

void FramingMonitor::pass(uint64_t loop)
{
    if (loop != loop_)
        return;
    const std::shared_ptr<const PixelBuffer> frame = source_ ? source_->newest() : nullptr;
    if (!frame) {
        finishPass(loop, std::nullopt);
        return;
    }
    // The analysis runs on the worker; the result comes back on a later turn of the main loop, and is dropped
    // if the monitor is gone by then.
    QPointer<FramingMonitor> weak(this);
    worker_.async([weak, loop, frame, analyzer = analyzer_] {
        auto result = analyzer->analyze(*frame);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, loop, result = std::move(result)] {
                if (weak)
                    weak->finishPass(loop, result);
            },
            Qt::QueuedConnection);
    });
}

void FramingMonitor::finishPass(uint64_t loop, const std::optional<FramingAnalyzer::Result>& result)
{
    if (loop != loop_)
        return; // cancelled while the analysis ran
    const std::optional<FrameReading> reading = result ? std::optional(result->reading) : std::nullopt;
    const FramingReport report
        = coach_.step(reading, specs_, mirrored_, HostClock::nowSeconds(), false, messageProvider_, goodAdvice_);
    if (report != report_)
        publishReport(report);
    publishThumbnail(result ? result->thumbnail : QImage());
    QTimer::singleShot(static_cast<int>(interval_ * 1000), this, [this, loop] { pass(loop); });
}

void FramingMonitor::publishReport(const FramingReport& report)
{
    report_ = report;
    Q_EMIT reportChanged();
    Q_EMIT changed();
}

void FramingMonitor::setLivePreview(std::shared_ptr<const LivePreviewSource> source)
{
    if (source == livePreview_)
        return;
    livePreview_ = std::move(source);
    Q_EMIT livePreviewChanged();
    Q_EMIT changed();
}

void FramingMonitor::publishThumbnail(const QImage& thumbnail)
{
    thumbnail_ = thumbnail;
    Q_EMIT thumbnailChanged();
    Q_EMIT changed();
}
