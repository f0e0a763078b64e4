#include "finishing/FinishOutcome.h"

#include "platform/media/MovieAsset.h"
#include "takedata/ClockText.h"

#include <algorithm>
#include <cmath>

namespace FinishOutcome {

namespace {

// The shortfall a whole take never shows: a frame or two of rounding and the sound's last block.
constexpr double toleranceSeconds = 0.5;

// "0:12 of 0:20", "1:05 of 2:05"; "0:03.2 of 0:03.9" when whole seconds would read the same on both sides.
QString partOfWhole(double part, double whole)
{
    const auto clock = [](double seconds) { return ClockText::format(seconds, ClockText::Form::minutes); };
    if (clock(part) != clock(whole))
        return clock(part) + QStringLiteral(" of ") + clock(whole);
    // Counted in tenths first so the second and its tenth agree (2.3 s is 22.999… tenths); the nudge is far
    // below a tenth, and the cap beyond any take keeps the conversion defined.
    const auto withTenth = [](double seconds) {
        const double tenths = std::floor((seconds > 0 ? std::min(seconds, 1.0e14) : 0.0) * 10.0 + 1e-6);
        const auto shown = static_cast<qint64>(tenths);
        return ClockText::format(double(shown / 10), ClockText::Form::minutes) + QLatin1Char('.') + QString::number(shown % 10);
    };
    return withTenth(part) + QStringLiteral(" of ") + withTenth(whole);
}

} // namespace

std::optional<QString> shortNote(double finishedSeconds, double recordedSeconds, const QString& rawName)
{
    if (!(recordedSeconds > 0) || !std::isfinite(recordedSeconds) || !(finishedSeconds < recordedSeconds - toleranceSeconds))
        return std::nullopt;
    return QStringLiteral("Finished the first ") + partOfWhole(finishedSeconds, recordedSeconds)
        + QStringLiteral(" — the rest of ") + rawName + QStringLiteral(" could not be read");
}

std::optional<QString> shortSoundNote(double soundSeconds, double pictureSeconds, const QString& rawName)
{
    if (!(pictureSeconds > 0) || !std::isfinite(pictureSeconds) || !(soundSeconds > 0) || !(soundSeconds < pictureSeconds - toleranceSeconds))
        return std::nullopt;
    return QStringLiteral("The sound stops at ") + partOfWhole(soundSeconds, pictureSeconds)
        + QStringLiteral(" — the rest of the sound in ") + rawName + QStringLiteral(" was lost");
}

MovieLengths measure(const QString& moviePath)
{
    const auto opened = MovieAsset::open(moviePath);
    const auto* movie = std::get_if<MovieAsset>(&opened);
    if (!movie)
        return {};
    MovieLengths lengths{movie->duration().seconds(), 0, 0};
    for (const MovieTrack& track : movie->tracks()) {
        const double end = track.end().seconds();
        if (!std::isfinite(end))
            continue;
        if (track.mediaType == MovieTrack::MediaType::audio)
            lengths.soundSeconds = std::max(lengths.soundSeconds, end);
        else if (track.mediaType == MovieTrack::MediaType::video)
            lengths.pictureSeconds = std::max(lengths.pictureSeconds, end);
    }
    return lengths;
}

std::optional<QString> shortSoundNote(const MovieLengths& finished, double recordedSeconds, const QString& rawName)
{
    return shortSoundNote(finished.soundSeconds, finished.pictureSeconds > 0 ? finished.pictureSeconds : recordedSeconds, rawName);
}

std::optional<QString> shortSoundNoteFor(const QString& finalPath, double recordedSeconds, const QString& rawName)
{
    return shortSoundNote(measure(finalPath), recordedSeconds, rawName);
}

std::optional<QString> damagedNote(int damagedPictures, const QString& rawName)
{
    if (damagedPictures <= 0)
        return std::nullopt;
    if (damagedPictures == 1)
        return QStringLiteral("1 damaged picture in ") + rawName + QStringLiteral(" was left out; the picture before it holds");
    return QString::number(damagedPictures) + QStringLiteral(" damaged pictures in ") + rawName
        + QStringLiteral(" were left out; the picture before each one holds");
}

QString joined(const std::optional<QString>& first, const std::optional<QString>& second)
{
    if (first && second)
        return *first + QStringLiteral(". ") + *second;
    return first.value_or(second.value_or(QString()));
}

QString joined(const std::optional<QString>& first, const std::optional<QString>& second, const std::optional<QString>& third)
{
    const QString head = joined(first, second);
    return joined(head.isEmpty() ? std::nullopt : std::optional<QString>(head), third);
}

} // namespace FinishOutcome
