#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class PulseConnection;
class XcbConnection;
class X11TestWindow;
struct pa_stream;

// A test client that plays a 1 kHz tone into a sink during [k, k + 0.3) s of its own playback clock for
// every odd k, and shows a white square on the X display exactly while each tone is heard (it watches the
// stream's playback position, not a wall clock).
class FlashToneClient {
public:
    static std::unique_ptr<FlashToneClient> start(const QByteArray& displayName, const QRect& square, const QString& sink, double seconds);
    ~FlashToneClient();

    // Blocks until the playback clock passed the run's length; false when it did not within the timeout.
    bool waitUntilDone(double timeoutSeconds);
    size_t flashes() const { return flashes_.load(); }

private:
    FlashToneClient() = default;
    void write(size_t bytes);
    void watch();

    std::unique_ptr<PulseConnection> pulse_;
    pa_stream* stream_ = nullptr;
    std::unique_ptr<XcbConnection> x_;
    std::unique_ptr<X11TestWindow> square_;
    int64_t writtenFrames_ = 0;
    double seconds_ = 0;
    std::atomic<bool> started_{false};
    std::atomic<bool> done_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> flashes_{0};
    std::thread watcher_;
};
