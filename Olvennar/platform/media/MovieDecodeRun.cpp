#include "platform/media/MovieDecodeRun.h"

#include "platform/media/MovieReader.h"
#include "platform/system/ThisThread.h"

#include <algorithm>
#include <cstring>

std::variant<std::unique_ptr<MovieDecodeRun>, MediaError> MovieDecodeRun::start(const QString& path, double startSeconds, bool withSound)
{
    auto opened = MovieReader::open(path);
    if (auto* error = std::get_if<MediaError>(&opened))
        return *error;
    std::unique_ptr<MovieDecodeRun> run(new MovieDecodeRun);
    run->reader_ = std::move(std::get<std::unique_ptr<MovieReader>>(opened));
    const MovieAsset& asset = run->reader_->asset();
    run->duration_ = asset.duration().seconds();
    const auto videoTracks = asset.tracks(MovieTrack::MediaType::video);
    const auto soundTracks = asset.tracks(MovieTrack::MediaType::audio);
    if (videoTracks.empty())
        return MediaError{QStringLiteral("The movie has no picture.")};
    if (videoTracks.front()->nominalFrameRate > 0)
        run->frameDuration_ = 1.0 / videoTracks.front()->nominalFrameRate;
    if (startSeconds > 0)
        run->reader_->setTimeRange(MediaTime::fromSeconds(startSeconds, 48000), MediaTime::invalid());
    run->videoOutput_ = run->reader_->addVideoOutput(videoTracks.front()->index);
    if (withSound && !soundTracks.empty())
        run->soundOutput_ = run->reader_->addAudioOutput(soundTracks.front()->index, AudioOutputSettings{sampleRate, channels});
    run->soundDone_ = run->soundOutput_ == nullptr;
    if (!run->videoOutput_ || !run->reader_->startReading())
        return run->reader_->error().value_or(MediaError{QStringLiteral("The movie could not be read.")});
    run->thread_ = std::thread([raw = run.get()] {
        ThisThread::setName("movie.decode");
        raw->decodeLoop();
    });
    return run;
}

MovieDecodeRun::~MovieDecodeRun()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (reader_)
        reader_->cancelReading();
}

void MovieDecodeRun::decodeLoop()
{
    double pictureTime = -1; // how far each side has decoded, seconds
    double soundTime = -1;
    for (;;) {
        bool decodePicture = false;
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [&] {
                const bool pictureRoom = !videoDone_ && frames_.size() < maxFrames;
                const bool soundRoom = !soundDone_ && queuedSoundFrames_ < maxSoundFrames;
                return stopping_ || pictureRoom || soundRoom || (videoDone_ && soundDone_);
            });
            if (stopping_ || (videoDone_ && soundDone_))
                return;
            const bool pictureRoom = !videoDone_ && frames_.size() < maxFrames;
            const bool soundRoom = !soundDone_ && queuedSoundFrames_ < maxSoundFrames;
            decodePicture = pictureRoom && (!soundRoom || pictureTime <= soundTime);
        }
        if (decodePicture) {
            std::optional<MediaSample> sample = videoOutput_->copyNextSample();
            std::lock_guard guard(lock_);
            if (!sample || !sample->pixels) {
                videoDone_ = true;
            } else {
                pictureTime = sample->presentationTime().seconds();
                frames_.push_back({sample->pixels, pictureTime});
            }
        } else {
            std::optional<MediaSample> sample = soundOutput_->copyNextSample();
            std::lock_guard guard(lock_);
            if (!sample || !sample->audio) {
                soundDone_ = true;
            } else {
                soundTime = (sample->presentationTime() + sample->duration()).seconds();
                queuedSoundFrames_ += sample->audio->frameCount();
                sound_.push_back(sample->audio->samples);
            }
        }
        wake_.notify_all();
    }
}

std::optional<double> MovieDecodeRun::nextFrameTime()
{
    std::lock_guard guard(lock_);
    if (frames_.empty())
        return std::nullopt;
    return frames_.front().time;
}

std::optional<MovieDecodeRun::Frame> MovieDecodeRun::takeFrameDue(double clock)
{
    std::optional<Frame> due;
    {
        std::lock_guard guard(lock_);
        while (!frames_.empty() && frames_.front().time <= clock) {
            if (due)
                dropped_.fetch_add(1);
            due = std::move(frames_.front());
            frames_.pop_front();
        }
    }
    if (due)
        wake_.notify_all();
    return due;
}

std::optional<MovieDecodeRun::Frame> MovieDecodeRun::waitForFrame()
{
    std::optional<Frame> next;
    {
        std::unique_lock guard(lock_);
        wake_.wait(guard, [&] { return stopping_ || !frames_.empty() || videoDone_; });
        if (frames_.empty())
            return std::nullopt;
        next = std::move(frames_.front());
        frames_.pop_front();
    }
    wake_.notify_all();
    return next;
}

bool MovieDecodeRun::picturesEnded()
{
    std::lock_guard guard(lock_);
    return videoDone_ && frames_.empty();
}

int64_t MovieDecodeRun::pullSound(float* out, int64_t frames)
{
    int64_t filled = 0;
    {
        std::lock_guard guard(lock_);
        while (filled < frames && !sound_.empty()) {
            const std::vector<float>& block = sound_.front();
            const size_t available = (block.size() - soundOffset_) / channels;
            const size_t taken = std::min<size_t>(available, static_cast<size_t>(frames - filled));
            std::memcpy(out + filled * channels, block.data() + soundOffset_, taken * channels * sizeof(float));
            filled += static_cast<int64_t>(taken);
            soundOffset_ += taken * channels;
            queuedSoundFrames_ -= static_cast<int64_t>(taken);
            if (soundOffset_ >= block.size()) {
                sound_.pop_front();
                soundOffset_ = 0;
            }
        }
    }
    if (filled > 0)
        wake_.notify_all();
    return filled;
}

bool MovieDecodeRun::soundEnded()
{
    std::lock_guard guard(lock_);
    return soundDone_ && sound_.empty();
}
