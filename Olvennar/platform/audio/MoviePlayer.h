#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class AudioPlayback;
class MovieDecodeRun;
class PixelBuffer;

// Plays one movie file: a decode run (its own thread) fills short picture and sound queues, an audio playback
// stream pulls the sound and is the clock, and a timer at the display's rate takes the picture due at that clock.
// Without sound, when the sound output cannot open, and after the last sound, the host's monotonic clock runs
// instead. Pausing ends the sound stream and the decode run; playing again starts both afresh at the paused
// position.
//
// Main thread only; the sound is pulled on the playback's own thread straight from the run's queue.
class MoviePlayer : public QObject {
    Q_OBJECT

public:
    using PlaybackFactory = std::function<std::unique_ptr<AudioPlayback>()>;

    explicit MoviePlayer(PlaybackFactory makePlayback, QObject* parent = nullptr);
    ~MoviePlayer() override;

    // Stands paused at the start of the file and shows its first picture; the sentence when it cannot be read.
    std::optional<QString> load(const QString& path);
    const QString& path() const { return path_; }
    // From the paused position, or from the start once the end was reached.
    void play();
    void pause();
    bool isPlaying() const { return playing_; }
    void seek(double seconds);

    double duration() const { return duration_; }
    // The clock: seconds into the movie.
    double position() const;
    double frameDuration() const { return frameDuration_; }
    // The picture shown now and its time; null before a file is loaded.
    const QImage& frame() const { return frame_; }
    double frameTime() const { return frameTime_; }
    // The clock comes from the sound output.
    bool isClockedBySound() const { return playback_ != nullptr; }

Q_SIGNALS:
    void frameChanged();
    void playingChanged(bool playing);
    void ended();

private:
    void tick();
    void show(std::shared_ptr<const PixelBuffer> pixels, double time);
    void showStill(double seconds);
    void stopRun();

    PlaybackFactory makePlayback_;
    QString path_;
    double duration_ = 0;
    double frameDuration_ = 1.0 / 30;
    double startedAt_ = 0; // movie seconds where the running run began, or the paused position
    bool playing_ = false;
    std::shared_ptr<const PixelBuffer> pixels_; // kept alive under frame_
    QImage frame_;
    double frameTime_ = 0;
    QElapsedTimer hostClock_;
    bool soundDrained_ = false; // the output took the last sound: the host clock runs on from drainedAt_
    double drainedAt_ = 0;
    QTimer ticker_;
    std::unique_ptr<MovieDecodeRun> run_;
    std::unique_ptr<AudioPlayback> playback_; // after run_: stopped first, so the pull never outlives the run
};
