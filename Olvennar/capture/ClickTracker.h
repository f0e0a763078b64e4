#pragma once

#include "platform/input/InputEvents.h"
#include "takedata/Click.h"

#include <QByteArray>
#include <QJsonArray>
#include <QObject>
#include <QRectF>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class DisplayPicture;
class PointerState;
class RecordingClock;

// Logs the left and right clicks of a screen take against the take clock, as fractions of the take's frame
// where its picture shows them. Lives on the main thread; the record list may be read from anywhere.
class ClickTracker : public QObject {
public:
    using Click = ::Click;

    ClickTracker(InputEvents& input, PointerState& pointer, QObject* parent = nullptr);
    ~ClickTracker() override;

    // Arms the tracker for a take (replacing any monitor). The capture rectangle is in desktop
    // coordinates, origin bottom-left.
    void start(std::shared_ptr<RecordingClock> clock, const QRectF& captureRect);
    // The same for a picture that follows its display; asked where it lies at each click.
    void start(std::shared_ptr<RecordingClock> clock, std::shared_ptr<DisplayPicture> picture);
    // Removes the monitor; safe to call again. The recorded clicks stay until clearRecorded().
    void stop();
    bool isMonitoring() const { return monitor_ != nullptr; }

    std::vector<Click> recorded() const;
    void clearRecorded();

    // The "clicks" sidecar: an indented JSON array of {"time", "x", "y"}; nothing when a value is not
    // a finite number.
    static std::optional<QByteArray> encoded(const std::vector<Click>& clicks);
    static std::optional<QJsonArray> json(const std::vector<Click>& clicks);

private:
    void mouseDown(const RecordingClock& clock, DisplayPicture& picture);

    InputEvents& input_;
    PointerState& pointer_;
    std::unique_ptr<InputEvents::Monitor> monitor_;
    mutable std::mutex lock_;
    std::vector<Click> recorded_;
};
