#pragma once

#include "platform/media/MediaSample.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieReader.h"
#include "platform/media/MovieWriter.h"
#include "support/MovieProbe.h"
#include "support/SyntheticTake.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Synthetic media and outside checks shared by the media tests.
namespace MediaTestSupport {

using SyntheticTake::drain;
using SyntheticTake::movingNoise;
using SyntheticTake::MovieRecipe;
using SyntheticTake::openReader;
using SyntheticTake::packetsOfTrack;
using SyntheticTake::tone;
using SyntheticTake::videoSettingsFor;
using SyntheticTake::writeMovie;

// ffprobe's view of the file.
using MovieProbe::number;
using MovieProbe::packetsOf;
using MovieProbe::streamsOfType;
inline QJsonObject probe(const QString& path, bool packets = false) { return MovieProbe::streams(path, packets); }

MovieAsset assetOf(const QString& path);
// Hidden siblings (".name-…") left in a folder.
QStringList hiddenFiles(const QString& folder);
void writeText(const QString& path, const QByteArray& text);
QByteArray readText(const QString& path);

} // namespace MediaTestSupport
