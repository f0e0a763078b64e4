#include "capture/DeviceVideoRecorder.h"

#include "platform/media/MovieWriter.h"

namespace {

// The take's movie: a fragmented QuickTime file written in place, so an unplugged camera or a crash keeps
// everything up to the last fragment.
class MovieFileWriter final : public DeviceVideoRecorder::Writer {
public:
    MovieFileWriter(std::unique_ptr<MovieWriter> writer, MovieWriterInput* input)
        : writer_(std::move(writer))
        , input_(input)
    {
    }

    bool startWriting() override { return writer_->startWriting(); }
    bool isWriting() const override { return writer_->status() == MovieWriter::Status::writing; }
    void startSession(const MediaTime& sourceTime) override { writer_->startSession(sourceTime); }
    bool isReadyForMoreMediaData() const override { return input_->isReadyForMoreMediaData(); }
    bool append(const MediaSample& sample) override { return input_->append(sample); }
    bool finish() override
    {
        input_->markAsFinished();
        return writer_->finishWriting() && writer_->status() == MovieWriter::Status::completed;
    }
    std::optional<QString> location() const override { return writer_->location(); }
    QString errorText() const override
    {
        const std::optional<MediaError> error = writer_->error();
        return error ? error->description : QString();
    }

private:
    std::unique_ptr<MovieWriter> writer_;
    MovieWriterInput* input_;
};

} // namespace

DeviceVideoRecorder::WriterFactory DeviceVideoRecorder::defaultWriterFactory()
{
    return [](const QString& path, const MovieSettings& wanted, QString& error) -> std::unique_ptr<Writer> {
        auto writer = std::make_unique<MovieWriter>(path, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
        VideoSettings settings;
        settings.codec = VideoSettings::Codec::h264; // the encoder runs H.264 at High profile
        settings.width = wanted.width;
        settings.height = wanted.height;
        settings.averageBitRate = wanted.averageBitRate;
        settings.maxKeyFrameInterval = wanted.maxKeyFrameInterval;
        settings.allowFrameReordering = wanted.allowFrameReordering;
        settings.expectedFrameRate = wanted.expectedFrameRate;
        // Camera frames arrive in real time on one thread; a fast preset keeps up at 1080p60.
        settings.preset = "veryfast";
        MovieWriterInput* input = writer->addVideoInput(settings);
        if (!input) {
            const std::optional<MediaError> reason = writer->lastInputError();
            error = reason ? reason->description : QStringLiteral("the video track could not be added");
            return nullptr;
        }
        input->setExpectsMediaDataInRealTime(wanted.realTime);
        return std::make_unique<MovieFileWriter>(std::move(writer), input);
    };
}
