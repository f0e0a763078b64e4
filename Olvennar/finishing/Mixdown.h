#pragma once

#include "plans/MixdownRequest.h"
#include "plans/OverlayFrameRenderer.h"
#include "platform/media/MovieReader.h"
#include "platform/media/VideoSettings.h"

#include <QSize>

#include <functional>
#include <optional>

class ExportGate;
class MovieWriter;
class MovieWriterInput;
class SampleSource;

// Writes the finished movie of a screen take. Every operation is blocking (run it off the main thread),
// writes a hidden ".mixdown-<UUID>" sibling and renames it over the destination only when the movie is
// complete: a failure leaves an existing final as it was and no sibling behind.
namespace Mixdown {

// Called from the video queue with a fraction in [0, 1]: at 1.0 and after every rise of at least 0.01.
using Progress = std::function<void(double)>;

struct Options {
    ExportGate* gate = nullptr; // nothing: ExportGate::shared()
    double gatePollSeconds = 0.25; // how long a raised gate sleeps between looks
};

// What the reader decodes sound to and what the finished file's sound is encoded to.
AudioOutputSettings pcmSettings();
AudioSettings aacSettings();
// H.264 High at 5 bits per pixel per second, a key frame at least every 2 s, no B-frames.
VideoSettings finishingVideoSettings(QSize renderSize, int frameRate);
// Studio look: the asked output size, else the screen's; classic look: always the screen's.
QSize renderSize(const Request& request, QSize screenSize);

// The screen video copied packet for packet; every audio track mixed into one stereo AAC track.
std::optional<MixdownError> composePassthrough(const QString& raw, const QString& to, const Progress& progress, const Options& options = {});

// What a finished movie left out of the raw's screen video, filled in when the render succeeds.
struct LeftOut {
    int damagedPictures = 0; // the picture before each one holds instead
};

// Every frame drawn by a renderer the factory makes for this export, encoded to H.264 with AAC sound.
std::optional<MixdownError> composeWithOverlays(const Request& request, const QString& to, const Progress& progress,
    const OverlayRendererFactory& makeRenderer, const Options& options = {}, LeftOut* leftOut = nullptr);

// The shared run: starts the writer, pumps both pairs on "com.quorrel.festrin.mixdown.video" / ".audio" while
// honouring the export gate, reports progress from the video pump, and finishes the file. `sourceFailure`
// names a failure on the reading side; when it does the file is abandoned instead of finished.
struct Pair {
    MovieWriterInput* input = nullptr;
    SampleSource* output = nullptr;
};
// The finished file's inputs: the video input the caller added (refused when null) and, when a sound mix
// is given, an AAC input paired with it. Neither expects real-time data.
std::optional<MixdownError> prepareInputs(MovieWriter& writer, MovieWriterInput* videoInput, SampleSource* mix, std::optional<Pair>& audioPair);

std::optional<MixdownError> run(MovieWriter& writer, Pair video, std::optional<Pair> audio, const MediaTime& sessionStart,
    const Progress& progress, const MediaTime& duration, const std::function<std::optional<QString>()>& sourceFailure,
    const Options& options = {});

} // namespace Mixdown
