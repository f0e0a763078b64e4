#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Replace-by-sibling writes: the bytes go to a hidden sibling (".<purpose>-<UUID><ext>"), are fsynced and read
// back, and the sibling is renamed over the target. A reader never sees a half-written file and a failed write
// (a full disk among them) leaves the old file as it was.
namespace AtomicFile {
// Returns an error sentence on failure (the sibling is removed), nothing on success.
std::optional<QString> write(const QString& targetPath, const QByteArray& bytes, const QString& purpose = QStringLiteral("write"));
// The hidden sibling path a writer should use: "<dir>/.<purpose>-<UUID><ext of target>".
QString hiddenSibling(const QString& targetPath, const QString& purpose);
// Whether a file name is such a sibling, whatever its purpose: what a killed writer leaves behind.
bool isHiddenSibling(const QString& fileName);
// The purpose such a sibling's name begins with ("zoom-2" for ".zoom-2-<UUID>.json"); nothing for any other name.
std::optional<QString> siblingPurpose(const QString& fileName);
// rename(2) of a finished sibling over the target, with an fsync of the folder; error sentence on failure.
std::optional<QString> replace(const QString& siblingPath, const QString& targetPath);
}
