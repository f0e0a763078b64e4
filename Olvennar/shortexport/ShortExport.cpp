#include "shortexport/ShortExport.h"

#include "platform/media/ExportGate.h"
#include "platform/media/SampleBufferPump.h"
#include "platform/media/MovieReader.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/DispatchQueue.h"
#include "platform/system/RegularFile.h"
#include "shorts/CropRenderer.h"
#include "shortexport/FrameReadAhead.h"
#include "shortexport/ShortVideoRun.h"
#include "finishing/WriterRun.h"

#include <algorithm>
#include <cmath>

namespace ShortExport {
namespace {

// x264 preset: at 16 Mbit/s for 1080x1920 every preset looks alike; a fast one keeps the stop of a short
// take short.
constexpr const char* shortPreset = "veryfast";

ExportError failed(QString detail) { return ExportError {ExportError::Kind::failed, std::move(detail)}; }

QString writerFailure(const MovieWriter& writer)
{
    return writer.error() ? writer.error()->description : QStringLiteral("writer status ") + QString::number(static_cast<int>(writer.status()));
}

std::optional<QString> readerFailure(const MovieReader* reader)
{
    if (!reader || reader->status() != MovieReader::Status::failed)
        return std::nullopt;
    return reader->error() ? reader->error()->description : QStringLiteral("reader failed");
}

VideoSettings shortVideoSettings(int width, int height, int frameRate)
{
    VideoSettings settings;
    settings.codec = VideoSettings::Codec::h264;
    settings.width = width;
    settings.height = height;
    settings.averageBitRate = 16000000;
    settings.maxKeyFrameInterval = 2 * frameRate;
    settings.allowFrameReordering = false;
    settings.expectedFrameRate = frameRate;
    settings.preset = shortPreset;
    settings.scaling = VideoSettings::Scaling::lanczos;
    return settings;
}

// The part of the frame the reader converts to BGRA: the crop and two pixels around it (what 4:2:0 chroma
// interpolation reads), starting on even pixels so the chroma grid is not shifted. The renderer then cuts the
// exact crop out of it.
QRect decodeRegion(const QRect& crop, const QSize& frame)
{
    const int left = std::max(0, crop.left() - 2) / 2 * 2;
    const int top = std::max(0, crop.top() - 2) / 2 * 2;
    const int right = std::min(frame.width(), crop.left() + crop.width() + 2);
    const int bottom = std::min(frame.height(), crop.top() + crop.height() + 2);
    return QRect(left, top, right - left, bottom - top);
}

// A sound source that remembers whether it was read to its end: a pump that stops before that had an
// append refused.
class WatchedSource final : public SampleSource {
public:
    explicit WatchedSource(SampleSource& source) : source_(source) {}
    std::optional<MediaSample> copyNextSample() override
    {
        std::optional<MediaSample> sample = source_.copyNextSample();
        if (!sample)
            ended_ = true;
        return sample;
    }
    bool ended() const { return ended_; }

private:
    SampleSource& source_;
    bool ended_ = false; // the pump's queue only; read after the pump has finished
};

} // namespace

std::variant<QSizeF, ErrorInfo> frameSize(const QString& rawURL)
{
    // Opening a FIFO or a device by name would wait for a writer for good or read without end.
    if (std::optional<QString> refused = RegularFile::otherThanRegular(rawURL))
        return ExportError {ExportError::Kind::readerRefused, *refused}.info();
    auto opened = MovieAsset::open(rawURL);
    if (auto* failure = std::get_if<MediaError>(&opened))
        return failure->info();
    const MovieTrack* video = std::get<MovieAsset>(opened).firstTrack(MovieTrack::MediaType::video);
    if (!video)
        return ExportError {ExportError::Kind::noVideoTrack, {}}.info();
    return QSizeF(std::abs(video->width), std::abs(video->height));
}

std::variant<QRect, ExportError> checkCrop(const QRectF& crop, const QSizeF& frame)
{
    const double left = std::floor(crop.left());
    const double top = std::floor(crop.top());
    const double right = std::ceil(crop.right());
    const double bottom = std::ceil(crop.bottom());
    const bool finite = std::isfinite(left) && std::isfinite(top) && std::isfinite(right) && std::isfinite(bottom);
    if (!finite || right - left < 2 || bottom - top < 2 || left < 0 || top < 0 || right > frame.width() || bottom > frame.height())
        return ExportError {ExportError::Kind::badCrop, {}};
    return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left), static_cast<int>(bottom - top));
}

std::variant<QString, ErrorInfo> exportShort(const Request& request, const QString& to, const Options& options)
{
    auto opened = MovieReader::open(request.rawURL);
    if (auto* failure = std::get_if<MediaError>(&opened))
        return failure->info();
    std::unique_ptr<MovieReader> videoReader = std::move(std::get<0>(opened));
    const MovieAsset& asset = videoReader->asset();
    const MovieTrack* video = asset.firstTrack(MovieTrack::MediaType::video);
    if (!video)
        return ExportError {ExportError::Kind::noVideoTrack, {}}.info();
    const QSize frame(std::abs(video->width), std::abs(video->height));
    const auto checked = checkCrop(request.crop, frame);
    if (const auto* bad = std::get_if<ExportError>(&checked))
        return bad->info();
    const QRect crop = std::get<QRect>(checked);
    if (request.frameRate <= 0)
        return failed(QStringLiteral("the frame rate %1 is not above 0").arg(request.frameRate)).info();
    if (!std::isfinite(request.outputSize.width()) || !std::isfinite(request.outputSize.height()))
        return failed(QStringLiteral("the output size is not finite")).info();
    const int fps = request.frameRate;

    // The video track's span, cut to the asked range.
    MediaTime start = video->start;
    MediaTime end = video->end();
    if (request.timeRange) {
        start = std::max(start, request.timeRange->start);
        end = std::min(end, request.timeRange->start + request.timeRange->duration);
    }
    if (end < start)
        end = start;

    videoReader->setTimeRange(start, end - start);
    const QRect region = decodeRegion(crop, frame);
    VideoOutputSettings pictures;
    pictures.crop = VideoOutputSettings::Rect {region.x(), region.y(), region.width(), region.height()};
    MovieReaderOutput* videoOutput = videoReader->addVideoOutput(video->index, pictures);
    if (!videoOutput)
        return ExportError {ExportError::Kind::readerRefused, QStringLiteral("video track rejected")}.info();

    // The sound has a reader of its own, so neither half's packets pile up waiting for the other.
    std::unique_ptr<MovieReader> audioReader;
    MovieReaderOutput* audioOutput = nullptr;
    if (const MovieTrack* audio = asset.firstTrack(MovieTrack::MediaType::audio)) {
        auto audioOpened = MovieReader::open(request.rawURL);
        if (auto* failure = std::get_if<MediaError>(&audioOpened))
            return failure->info();
        audioReader = std::move(std::get<0>(audioOpened));
        audioReader->setTimeRange(start, end - start);
        audioOutput = audioReader->addAudioOutput(audio->index, AudioOutputSettings {48000, 1});
    }

    MovieWriter writer(to, MovieFileType::quickTimeMovie, MovieWriteMode::finishing, QStringLiteral("short"));
    const int width = static_cast<int>(request.outputSize.width());
    const int height = static_cast<int>(request.outputSize.height());
    MovieWriterInput* videoInput = writer.addVideoInput(shortVideoSettings(width, height, fps));
    if (!videoInput)
        return ExportError {ExportError::Kind::writerRefused, QStringLiteral("video track rejected")}.info();
    videoInput->setExpectsMediaDataInRealTime(false);
    MovieWriterInput* audioInput = audioOutput ? writer.addAudioInput(AudioSettings {48000, 1, 256000}) : nullptr;
    if (audioInput)
        audioInput->setExpectsMediaDataInRealTime(false);
    else
        audioReader.reset(); // a sound nobody writes is never read

    for (MovieReader* reader : {videoReader.get(), audioReader.get()}) {
        if (reader && !reader->startReading()) {
            return ExportError {ExportError::Kind::readerRefused,
                reader->error() ? reader->error()->description : QStringLiteral("startReading refused")}
                .info();
        }
    }
    if (std::optional<QString> refused = WriterRun::start(writer, start))
        return ExportError {ExportError::Kind::writerRefused, *refused}.info();

    CropRenderer renderer(region.size(), crop.translated(-region.topLeft()), QSize(width, height));
    ExportGate& gate = options.gate ? *options.gate : ExportGate::shared();
    std::optional<WatchedSource> sound;
    if (audioInput)
        sound.emplace(*audioOutput);
    FrameReadAhead rawPictures(*videoOutput, gate, options.gatePollSeconds);
    QFuture<VideoOutcome> videoDone;
    WriterRun::run(writer, {"com.quorrel.festrin.short.export.video", "com.quorrel.festrin.short.export.audio"},
        [&](DispatchQueue& queue) {
            videoDone = runVideo(*videoInput, rawPictures, renderer, start, end, fps, queue, gate, options.gatePollSeconds);
            return videoDone.then(QtFuture::Launch::Sync, [](const VideoOutcome&) {});
        },
        audioInput, sound ? &*sound : nullptr, gate, options.gatePollSeconds);
    // A writer that failed under the pictures never asks for the rest of them.
    const VideoOutcome written = videoDone.isFinished() ? videoDone.result() : VideoOutcome {0, QStringLiteral("the writer stopped")};

    // The studio quit under the export: the pumps stopped early, and a cut-short short is never finished.
    std::optional<QString> failure;
    if (gate.isAbandoned())
        failure = QStringLiteral("the studio quit before the short was finished");
    if (!failure)
        failure = readerFailure(videoReader.get());
    if (!failure)
        failure = readerFailure(audioReader.get());
    // Without a single frame there is no short; an earlier short.mov stays in place.
    if (!failure && written.framesWritten < 1)
        failure = written.failure && writer.error() ? writer.error()->description : QStringLiteral("no frames were written");
    if (failure) {
        writer.cancelWriting();
        return failed(*failure).info();
    }
    // A half that stopped early still leaves a shorter short once the writer completes; the caller says so.
    if (!writer.finishWriting() || writer.status() != MovieWriter::Status::completed)
        return failed(writerFailure(writer)).info();
    if (written.failure)
        Diagnostics::log(QStringLiteral("short export: pictures stopped after %1 frames: ").arg(written.framesWritten) + *written.failure);
    if (sound && !sound->ended())
        Diagnostics::log(QStringLiteral("short export: sound stopped early"));
    return to;
}

} // namespace ShortExport
