#include "finishing/Mixdown.h"

#include "finishing/MixdownFrameScheduler.h"
#include "finishing/MixdownThreadBudget.h"
#include "platform/media/AudioMix.h"
#include "platform/media/ExportGate.h"
#include "platform/media/MovieWriter.h"
#include "platform/system/RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace Mixdown {
namespace {

// x264 preset of the finished movie. The bit rate is fixed at 5 bits per pixel, so slower presets buy
// little visible quality on screen content while costing 2-3x the encode time; "veryfast" keeps a 1080p60
// export well ahead of real time on an ordinary desktop CPU.
constexpr const char* finishingPreset = "veryfast";

// A camera or iPhone recording opened for decoding and placed on the take's timeline; left out (nothing)
// when there is no file, no video or no media before the screen recording's end.
struct Overlay {
    std::unique_ptr<MovieReader> reader;
    int track = 0;
    FrameScheduler::Source source;
};

std::variant<std::optional<Overlay>, MixdownError> openOverlay(const std::optional<QString>& url, const MediaTime& limit,
    const MediaTime& exportStart)
{
    if (!url || !QFile::exists(*url))
        return std::optional<Overlay> {};
    if (std::optional<QString> refused = RegularFile::otherThanRegular(*url))
        return MixdownError {MixdownError::Kind::failed, *refused};
    auto opened = MovieReader::open(*url);
    if (auto* failure = std::get_if<MediaError>(&opened))
        return MixdownError {MixdownError::Kind::failed, failure->description};
    Overlay overlay;
    overlay.reader = std::move(std::get<0>(opened));
    const MovieTrack* track = overlay.reader->asset().firstTrack(MovieTrack::MediaType::video);
    if (!track)
        return std::optional<Overlay> {};
    std::optional<OverlayPlacement> placement = OverlayPlacement::place(track->mediaStart(), track->end(), limit);
    if (!placement)
        return std::optional<Overlay> {};
    // Decode only what can show: from the frame due at the export's start to the end of the placement.
    MediaTime readFrom = placement->sourceTime(exportStart).value_or(placement->liveStart);
    if (exportStart >= placement->liveEnd)
        return std::optional<Overlay> {};
    overlay.reader->setTimeRange(readFrom, placement->liveEnd - readFrom);
    overlay.track = track->index;
    overlay.source.placement = placement;
    return std::optional<Overlay> {std::move(overlay)};
}

// The overlay's decoded pictures: BGRA, or the decoder's planes as they are for renderers that draw planes.
// Left out (nothing) when the reader refuses the output.
void addOverlayOutput(std::optional<Overlay>& overlay, int decoderThreads, bool planes)
{
    if (!overlay)
        return;
    VideoOutputSettings decoding;
    decoding.decoderThreads = decoderThreads;
    decoding.encoderPlanesAsDecoded = planes;
    overlay->source.output = overlay->reader->addVideoOutput(overlay->track, decoding);
    if (!overlay->source.output)
        overlay.reset();
}

// The export's renderers: several side by side when frames can be drawn independently and there are cores
// to spare, else one. None when the factory makes none.
std::vector<std::unique_ptr<OverlayFrameRenderer>> makeRenderers(const OverlayRendererFactory& makeRenderer, const OverlayFrameRenderer::Setup& setup,
    int sideBySide)
{
    std::vector<std::unique_ptr<OverlayFrameRenderer>> renderers;
    std::unique_ptr<OverlayFrameRenderer> first = makeRenderer ? makeRenderer(setup) : nullptr;
    if (!first)
        return renderers;
    const int count = first->drawsFramesIndependently() ? sideBySide : 1;
    renderers.push_back(std::move(first));
    while (static_cast<int>(renderers.size()) < count) {
        std::unique_ptr<OverlayFrameRenderer> more = makeRenderer(setup);
        if (!more)
            break;
        renderers.push_back(std::move(more));
    }
    return renderers;
}

std::vector<OverlayFrameRenderer*> borrowed(const std::vector<std::unique_ptr<OverlayFrameRenderer>>& renderers)
{
    std::vector<OverlayFrameRenderer*> pointers;
    for (const auto& renderer : renderers)
        pointers.push_back(renderer.get());
    return pointers;
}

int evenPixels(double value) { return std::max(2, static_cast<int>(value) / 2 * 2); }

} // namespace

QSize renderSize(const Request& request, QSize screenSize)
{
    double width = screenSize.width();
    double height = screenSize.height();
    if (request.layout == ScreenLayout::studio && request.outputSize) {
        width = request.outputSize->width();
        height = request.outputSize->height();
    }
    if (!std::isfinite(width) || !std::isfinite(height) || width < 1 || height < 1 || width > largestSide || height > largestSide)
        return {};
    // 4:2:0 video needs even sides.
    return {evenPixels(std::round(width)), evenPixels(std::round(height))};
}

VideoSettings finishingVideoSettings(QSize renderSize, int frameRate)
{
    VideoSettings settings;
    settings.codec = VideoSettings::Codec::h264;
    settings.width = renderSize.width();
    settings.height = renderSize.height();
    settings.averageBitRate = static_cast<int64_t>(static_cast<double>(settings.width) * settings.height * 5.0);
    settings.maxKeyFrameInterval = 2 * frameRate;
    settings.allowFrameReordering = false;
    settings.expectedFrameRate = frameRate;
    settings.preset = finishingPreset;
    settings.encoderThreads = ThreadBudget::forCores(FrameScheduler::availableCores()).encoderThreads;
    return settings;
}

std::optional<MixdownError> composeWithOverlays(const Request& request, const QString& to, const Progress& progress,
    const OverlayRendererFactory& makeRenderer, const Options& options, LeftOut* leftOut)
{
    if (std::optional<QString> refused = RegularFile::otherThanRegular(request.rawURL))
        return MixdownError {MixdownError::Kind::readerRefused, *refused};
    auto opened = MovieReader::open(request.rawURL);
    if (auto* failure = std::get_if<MediaError>(&opened))
        return MixdownError {MixdownError::Kind::readerRefused, failure->description};
    std::unique_ptr<MovieReader> screenReader = std::move(std::get<0>(opened));
    const MovieAsset& asset = screenReader->asset();
    const MovieTrack* screen = asset.firstTrack(MovieTrack::MediaType::video);
    if (!screen)
        return MixdownError {MixdownError::Kind::noVideoTrack, {}};
    const MediaTime duration = asset.duration();

    // What is exported: the export range cut to the take, else all of it. The timeline stays the take's own.
    MediaTime sessionStart = MediaTime::zero();
    MediaTime exportDuration = duration;
    if (request.exportRange) {
        const MediaTime start = std::clamp(request.exportRange->start, MediaTime::zero(), duration);
        const MediaTime end = std::clamp(request.exportRange->start + request.exportRange->duration, start, duration);
        sessionStart = start;
        exportDuration = end - start;
    }

    const QSize size = renderSize(request, QSize(screen->width, screen->height));
    if (size.isEmpty() || request.frameRate <= 0)
        return MixdownError {MixdownError::Kind::writerRefused, QStringLiteral("video track rejected")};

    // How this export shares the cores between its decoders, renderers and encoder.
    const ThreadBudget budget = ThreadBudget::forCores(FrameScheduler::availableCores());

    std::optional<Overlay> overlays[2];
    const std::optional<QString>* urls[2] = {&request.cameraURL, &request.phoneURL};
    for (int i = 0; i < 2; ++i) {
        auto result = openOverlay(*urls[i], duration, sessionStart);
        if (auto* failure = std::get_if<MixdownError>(&result))
            return *failure;
        overlays[i] = std::move(std::get<0>(result));
    }
    std::optional<Overlay>& camera = overlays[0];
    std::optional<Overlay>& phone = overlays[1];

    std::vector<int> audioTracks;
    for (const MovieTrack* track : asset.tracks(MovieTrack::MediaType::audio))
        audioTracks.push_back(track->index);
    std::unique_ptr<MovieReader> audioReader;
    std::unique_ptr<AudioMix> mix;
    if (!audioTracks.empty()) {
        auto audioOpened = MovieReader::open(request.rawURL);
        if (auto* failure = std::get_if<MediaError>(&audioOpened))
            return MixdownError {MixdownError::Kind::readerRefused, failure->description};
        audioReader = std::move(std::get<0>(audioOpened));
        audioReader->setTimeRange(sessionStart, exportDuration);
        mix = std::make_unique<AudioMix>(*audioReader, audioTracks, pcmSettings());
        // Sound the take has but that cannot be decoded fails the job instead of leaving a silent final.
        if (mix->isEmpty() || audioReader->error())
            return MixdownError {MixdownError::Kind::readerRefused, QStringLiteral("audio track rejected")};
    }

    MovieWriter writer(to, MovieFileType::quickTimeMovie, MovieWriteMode::finishing, QStringLiteral("mixdown"));
    MovieWriterInput* videoInput = writer.addVideoInput(finishingVideoSettings(size, request.frameRate));
    std::optional<Pair> audioPair;
    if (auto refused = prepareInputs(writer, videoInput, mix.get(), audioPair))
        return refused;

    OverlayFrameRenderer::Setup setup {request, size, QSize(screen->width, screen->height), camera.has_value(), phone.has_value(),
        request.showClickHighlight ? request.clicks : std::vector<Click> {}};
    std::vector<std::unique_ptr<OverlayFrameRenderer>> renderers = makeRenderers(makeRenderer, setup, budget.renderers);
    if (renderers.empty())
        return MixdownError {MixdownError::Kind::readerRefused, QStringLiteral("composited video rejected")};

    // Renderers that draw into the encoder's planes take the screen's and the camera's decoded planes as they are.
    const bool planes =
        std::all_of(renderers.begin(), renderers.end(), [](const std::unique_ptr<OverlayFrameRenderer>& renderer) { return renderer->drawsPlanar(); });
    addOverlayOutput(camera, budget.overlayDecoderThreads, planes);
    addOverlayOutput(phone, budget.overlayDecoderThreads, false);
    screenReader->setTimeRange(sessionStart, exportDuration);
    VideoOutputSettings decoding;
    decoding.decoderThreads = budget.screenDecoderThreads;
    decoding.encoderPlanesAsDecoded = planes;
    MovieReaderOutput* screenOutput = screenReader->addVideoOutput(screen->index, decoding);
    if (!screenOutput)
        return MixdownError {MixdownError::Kind::readerRefused, QStringLiteral("composited video rejected")};

    std::vector<MovieReader*> readers {screenReader.get(), audioReader.get()};
    for (auto& overlay : overlays)
        readers.push_back(overlay ? overlay->reader.get() : nullptr);
    for (MovieReader* reader : readers) {
        if (reader && !reader->startReading()) {
            return MixdownError {MixdownError::Kind::readerRefused,
                reader->error() ? reader->error()->description : QStringLiteral("startReading refused")};
        }
    }

    // The finishing encoder is software x264 at the render size: it takes planar frames as they are.
    FrameScheduler scheduler({sessionStart, exportDuration, request.frameRate, size, true}, {screenOutput, std::nullopt},
        camera ? std::optional(camera->source) : std::nullopt, phone ? std::optional(phone->source) : std::nullopt, borrowed(renderers),
        options.gate ? *options.gate : ExportGate::shared(), options.gatePollSeconds);
    scheduler.start();
    auto readFailure = [&]() -> std::optional<QString> {
        if (auto failure = scheduler.failure())
            return failure;
        for (const MovieReader* reader : readers) {
            if (reader && reader->status() == MovieReader::Status::failed)
                return reader->error() ? reader->error()->description : QStringLiteral("reader failed");
        }
        return std::nullopt;
    };
    std::optional<MixdownError> failure =
        run(writer, Pair {videoInput, &scheduler}, audioPair, sessionStart, progress, exportDuration, readFailure, options);
    if (!failure && leftOut)
        leftOut->damagedPictures = screenReader->damagedPictures();
    return failure;
}

} // namespace Mixdown
