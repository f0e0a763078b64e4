#include "finishing/HeldPieces.h"

#include "finishing/TakePieces.h"

#include <QDir>
#include <QFileInfo>

void HeldPieces::holdPresent(const QString& finalPath)
{
    known_ = true;
    const QDir folder = QFileInfo(finalPath).absoluteDir();
    for (const QString& name : TakePieces::pieceNames(finalPath)) {
        if (files_.contains(name) || deleted_.contains(name))
            continue;
        if (std::shared_ptr<const HeldFile> file = HeldFile::hold(folder.filePath(name)))
            files_.emplace(name, std::move(file));
    }
}

void HeldPieces::holdWritten(const QString& folder, const QStringList& names)
{
    // A job that never knew the take's files takes them all as its own already.
    if (!known_)
        return;
    for (const QString& name : names) {
        files_.erase(name);
        deleted_.erase(name);
        if (std::shared_ptr<const HeldFile> file = HeldFile::hold(QDir(folder).filePath(name)))
            files_.emplace(name, std::move(file));
    }
}

void HeldPieces::hold(const QString& name, std::shared_ptr<const HeldFile> file)
{
    if (!known_ || !file)
        return;
    deleted_.erase(name);
    files_[name] = std::move(file);
}

void HeldPieces::letGoOfDeleted()
{
    for (auto held = files_.begin(); held != files_.end();) {
        if (held->second->unlinked()) {
            deleted_.insert(held->first);
            held = files_.erase(held);
        } else {
            ++held;
        }
    }
}

bool HeldPieces::ownAt(const QString& folder, const QString& name) const
{
    const auto held = files_.find(name);
    if (held == files_.end())
        return !known_ && !deleted_.contains(name);
    return held->second->isAt(QDir(folder).filePath(name));
}

std::shared_ptr<const HeldFile> HeldPieces::held(const QString& name) const
{
    const auto found = files_.find(name);
    return found == files_.end() ? nullptr : found->second;
}

std::optional<QString> HeldPieces::firstLost(const QString& folder, const QStringList& names) const
{
    for (const QString& name : names) {
        const QFileInfo there(QDir(folder).filePath(name));
        if (!ownAt(folder, name) && (files_.contains(name) || deleted_.contains(name) || there.exists() || there.isSymLink()))
            return name;
    }
    return std::nullopt;
}

ErrorInfo HeldPieces::lostFailure(const QString& notDone, const QString& lost)
{
    return ErrorInfo{QStringLiteral("Olvennar.HeldPieces"), 1,
        notDone + QStringLiteral(": ") + lost + QStringLiteral(" was deleted or replaced after the take stopped; the files now in its folder stay as they are")};
}
