#pragma once

#include "platform/system/DispatchQueue.h"
#include "platform/system/ErrorInfo.h"
#include "platform/video/CameraHub.h"
#include "takedata/ClipSegment.h"

#include <QFuture>
#include <QSize>
#include <QString>

#include <qcorotask.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CameraFrameTap;
class RecordingClock;

// Films one camera into a video-only H.264 movie on the shared take clock. Between takes it keeps the camera
// streaming for the live preview and feeds its frame tap; during a take it writes every usable frame retimed to
// take time and keeps the spans of take time that really had frames.
//
// Threading: configuration, preview and start/stop calls come from the main thread. Frames arrive on the camera
// hub's capture thread, which only feeds the tap and posts to the writer queue; every writer, clock, flag and
// span field is touched only on the writer queue.
class DeviceVideoRecorder {
public:
    struct RecorderError {
        enum class Kind { cannotAddInput = 1, cannotAddOutput, cannotCreateWriter, appendRejected };
        Kind kind = Kind::cannotAddInput;
        QString detail;
        QString description() const;
        ErrorInfo info() const;
    };

    // What the take's movie is written with.
    struct MovieSettings {
        int width = 0;
        int height = 0;
        int64_t averageBitRate = 0;
        int maxKeyFrameInterval = 60;
        bool highProfile = true;
        bool allowFrameReordering = false;
        bool realTime = true;
        int expectedFrameRate = 30; // rate-control hint; times come from the frames
    };

    // The movie file of one take, seen from the recorder.
    class Writer {
    public:
        virtual ~Writer() = default;
        // Opens the file; false (with the reason in errorText) when it cannot.
        virtual bool startWriting() = 0;
        virtual bool isWriting() const = 0;
        virtual void startSession(const MediaTime& sourceTime) = 0;
        virtual bool isReadyForMoreMediaData() const = 0;
        virtual bool append(const MediaSample& sample) = 0;
        // Ends the movie; true when it is complete on disk.
        virtual bool finish() = 0;
        // Where the movie lies now (a folder renamed while it recorded takes the open file along); nothing
        // once it was deleted.
        virtual std::optional<QString> location() const = 0;
        virtual QString errorText() const = 0;
    };
    using WriterFactory = std::function<std::unique_ptr<Writer>(const QString& path, const MovieSettings& settings, QString& error)>;

    // The real writer unless a test hands in another.
    explicit DeviceVideoRecorder(WriterFactory writerFactory = {});
    // H.264 movies through the platform movie writer.
    static WriterFactory defaultWriterFactory();
    ~DeviceVideoRecorder();
    DeviceVideoRecorder(const DeviceVideoRecorder&) = delete;
    DeviceVideoRecorder& operator=(const DeviceVideoRecorder&) = delete;

    // Attaches one camera; the error leaves the recorder detached.
    std::optional<RecorderError> configure(std::shared_ptr<CameraHub> device, bool mirrored);
    void setMirrored(bool mirrored);
    // Re-chooses the camera format after the owner changed preferTallFormat.
    void refreshFormat();
    void detach();
    // Stream start and stop run off the caller's thread.
    void startPreview();
    void stopPreview();

    // Prepares a take; nothing is written until a usable frame arrives. An existing file at `path` is never
    // removed: the take then goes to the first free "<name> (N)" beside it (stopRecording says which).
    void startRecording(const QString& path, std::shared_ptr<RecordingClock> clock);
    // The finished movie, or nothing when the take had no usable frame.
    QCoro::Task<std::optional<QString>> stopRecording();
    // Closed spans of take seconds with frames; complete once stopRecording() returned.
    std::vector<ClipSegment> recordedSegments();

    const std::shared_ptr<CameraFrameTap>& frameTap() const { return frameTap_; }
    bool isAttached() const { return isAttached_; }
    bool isPreviewing() const;
    bool isMirrored() const { return mirrored_; }
    QSize frameSize() const;
    // The camera's applied frame duration; invalid when the device runs at its default.
    MediaTime frameDuration() const;
    std::shared_ptr<CameraHub> device() const { return device_; }

    // The owner's wish for a taller format (more height at the same width).
    bool preferTallFormat = false;
    // Called on the writer queue with the movie's size when the take's writer is created.
    std::function<void(QSize)> onFrameSizeKnown;
    // Called on the writer queue when the movie cannot be created or stops taking frames (once per take).
    std::function<void(const RecorderError&)> onWarning;

    // Ranks the device's formats (60 fps class first, then width up to 1920, then height or closeness to 16:9)
    // and applies the winner at its top rate, capped at 60. A device that cannot be configured is left as is.
    static void selectBestFormat(CameraHub& device, bool preferTall);
    // The winning index, or nothing for a device without formats.
    static std::optional<size_t> bestFormatIndex(const std::vector<CameraHub::Format>& formats, bool preferTall);
    // 1/round(min(top rate, 60)) seconds; invalid for a format without rates.
    static MediaTime frameDurationFor(double topRate);

    // Spans: a silence longer than this between written frames splits the span.
    static constexpr double spanGapSeconds = 0.5;

private:
    void captureOutput(const MediaSample& sample);
    void write(const MediaSample& sample);
    bool createWriter(const MediaSample& sample);
    bool anchorAtZero(const MediaSample& first, const MediaTime& takeTime);
    void noteSample(double seconds);
    void closeOpenSpan();
    void reportWriterFailure(const QString& detail);
    void warnOnce(const RecorderError& error);
    void finishOpenWriter();
    void setFrameSize(QSize size);
    void dropSubscription();

    WriterFactory writerFactory_;
    std::shared_ptr<CameraFrameTap> frameTap_;

    // Main thread.
    std::shared_ptr<CameraHub> device_;
    std::shared_ptr<CameraHub::Subscription> subscription_;
    QFuture<void> previewTask_;
    bool isAttached_ = false;
    bool mirrored_ = false;
    std::optional<bool> appliedTall_;
    std::optional<size_t> appliedFormat_;

    mutable std::mutex sizeLock_;
    QSize frameSize_;

    // Writer queue only.
    std::unique_ptr<Writer> writer_;
    std::shared_ptr<RecordingClock> clock_;
    bool sessionOpen_ = false;
    bool recording_ = false;
    bool warned_ = false;
    std::vector<ClipSegment> segments_;
    double segmentStart_;
    double lastSampleSeconds_;
    MediaTime lastWritten_;
    QString outputPath_;

    // Declared last so it is destroyed first (the destructor drops the subscription before): it runs what is
    // still queued while the fields above are alive.
    DispatchQueue writerQueue_{"com.quorrel.festrin.device.writer"};
};
