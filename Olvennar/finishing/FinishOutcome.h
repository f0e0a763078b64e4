#pragma once

#include <QString>

#include <optional>

// What a finished movie holds of its take, said when it is not all of it.
namespace FinishOutcome {

// What a finished movie lasts, read from the file once: its length, and where its longest sound and picture
// tracks end.
struct MovieLengths {
    std::optional<double> seconds; // nothing when the movie cannot be opened
    double soundSeconds = 0; // 0: no sound
    double pictureSeconds = 0; // 0: no picture
};
// Opens and reads the movie; blocks on the file, so never on the GUI thread.
MovieLengths measure(const QString& moviePath);

// A final more than half a second shorter than the recorded take:
// "Finished the first 0:12 of 0:20 — the rest of raw.mov could not be read". Nothing when all of it is
// there or the recorded length is unknown (0).
std::optional<QString> shortNote(double finishedSeconds, double recordedSeconds, const QString& rawName);

// A final whose sound ends more than half a second before its picture:
// "The sound stops at 0:56 of 4:42 — the rest of the sound in raw.mov was lost". Nothing when the sound
// lasts, the picture's length is unknown (0) or the final has no sound at all.
std::optional<QString> shortSoundNote(double soundSeconds, double pictureSeconds, const QString& rawName);
// The same for a finished movie: its longest sound track against its picture, or against the recorded take
// when it has no picture.
std::optional<QString> shortSoundNote(const MovieLengths& finished, double recordedSeconds, const QString& rawName);
// The same read from the file.
std::optional<QString> shortSoundNoteFor(const QString& finalPath, double recordedSeconds, const QString& rawName);

// Pictures the render could not decode and left out:
// "3 damaged pictures in raw.mov were left out; the picture before each one holds". Nothing when none were.
std::optional<QString> damagedNote(int damagedPictures, const QString& rawName);

// The notes that apply, one sentence after the other as the footer joins its own.
QString joined(const std::optional<QString>& first, const std::optional<QString>& second);
QString joined(const std::optional<QString>& first, const std::optional<QString>& second, const std::optional<QString>& third);

} // namespace FinishOutcome
