#include "platform/audio/MoviePlayer.h"

#include "platform/audio/AudioPlayback.h"
#include "platform/media/MovieDecodeRun.h"
#include "platform/media/PixelBufferViews.h"
#include "platform/system/Diagnostics.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

MoviePlayer::MoviePlayer(PlaybackFactory makePlayback, QObject* parent)
    : QObject(parent)
    , makePlayback_(std::move(makePlayback))
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double refresh = screen && screen->refreshRate() >= 20 ? screen->refreshRate() : 60.0;
    ticker_.setTimerType(Qt::PreciseTimer);
    ticker_.setInterval(std::max(1, static_cast<int>(std::floor(1000.0 / refresh))));
    connect(&ticker_, &QTimer::timeout, this, &MoviePlayer::tick);
}

MoviePlayer::~MoviePlayer() { stopRun(); }

void MoviePlayer::stopRun()
{
    ticker_.stop();
    playback_.reset();
    run_.reset();
}

std::optional<QString> MoviePlayer::load(const QString& path)
{
    pause();
    auto opened = MovieDecodeRun::start(path, 0, false);
    if (auto* error = std::get_if<MediaError>(&opened))
        return error->description;
    auto& still = std::get<std::unique_ptr<MovieDecodeRun>>(opened);
    path_ = path;
    duration_ = still->duration();
    frameDuration_ = still->frameDuration();
    startedAt_ = 0;
    if (auto first = still->waitForFrame())
        show(first->pixels, first->time);
    return std::nullopt;
}

void MoviePlayer::play()
{
    if (playing_ || path_.isEmpty())
        return;
    if (startedAt_ >= duration_ - 1e-3)
        startedAt_ = 0;
    auto opened = MovieDecodeRun::start(path_, startedAt_, true);
    if (auto* error = std::get_if<MediaError>(&opened)) {
        Diagnostics::log(QStringLiteral("player: %1 cannot be played: %2").arg(path_, error->description));
        return;
    }
    run_ = std::move(std::get<std::unique_ptr<MovieDecodeRun>>(opened));
    if (run_->hasSound() && makePlayback_) {
        playback_ = makePlayback_();
        MovieDecodeRun* run = run_.get();
        const auto refused = playback_ ? playback_->start(MovieDecodeRun::sampleRate, MovieDecodeRun::channels,
                                             [run](float* out, int64_t frames) { return run->pullSound(out, frames); })
                                       : std::optional<QString>(QStringLiteral("no sound output"));
        if (refused) {
            Diagnostics::log(QStringLiteral("player: playing without sound: %1").arg(*refused));
            playback_.reset();
        }
    }
    hostClock_.start();
    soundDrained_ = false;
    playing_ = true;
    ticker_.start();
    Q_EMIT playingChanged(true);
    tick();
}

void MoviePlayer::pause()
{
    if (!playing_)
        return;
    startedAt_ = std::clamp(position(), 0.0, duration_);
    stopRun();
    playing_ = false;
    Q_EMIT playingChanged(false);
}

void MoviePlayer::seek(double seconds)
{
    if (path_.isEmpty())
        return;
    const double target = std::clamp(std::isfinite(seconds) ? seconds : 0.0, 0.0, duration_);
    const bool wasPlaying = playing_;
    pause();
    startedAt_ = target;
    if (wasPlaying)
        play();
    else
        showStill(target);
}

double MoviePlayer::position() const
{
    if (!playing_)
        return startedAt_;
    const double host = hostClock_.nsecsElapsed() / 1e9;
    if (!playback_)
        return startedAt_ + host;
    return startedAt_ + (soundDrained_ ? drainedAt_ + host : playback_->playedSeconds());
}

void MoviePlayer::tick()
{
    if (!run_)
        return;
    // Once the output has taken the last sound, the host clock carries on from the sound's clock, so pictures
    // that outlast the sound still come on time.
    if (playback_ && !soundDrained_ && run_->soundEnded()) {
        drainedAt_ = playback_->playedSeconds();
        hostClock_.restart();
        soundDrained_ = true;
    }
    const double clock = position();
    if (auto due = run_->takeFrameDue(clock))
        show(due->pixels, due->time);
    if (run_->picturesEnded() && clock >= std::max(duration_, frameTime_ + frameDuration_)) {
        stopRun();
        playing_ = false;
        startedAt_ = duration_;
        Q_EMIT playingChanged(false);
        Q_EMIT ended();
    }
}

void MoviePlayer::show(std::shared_ptr<const PixelBuffer> pixels, double time)
{
    if (!pixels)
        return;
    frame_ = PixelBufferViews::image(*pixels);
    pixels_ = std::move(pixels);
    frameTime_ = time;
    Q_EMIT frameChanged();
}

void MoviePlayer::showStill(double seconds)
{
    auto opened = MovieDecodeRun::start(path_, seconds, false);
    if (auto* run = std::get_if<std::unique_ptr<MovieDecodeRun>>(&opened)) {
        if (auto first = (*run)->waitForFrame())
            show(first->pixels, first->time);
    }
}
