#pragma once

#include "platform/system/OpenFile.h"

#include <QString>

#include <memory>
#include <optional>

// A take's folder held open from the take's start (or from the launch that found its note) until its last job
// ends: the descriptor stays with the folder through every rename or move, while a folder made since under
// its old name is another. What a job reads or writes through throughDescriptor() lands in this folder wherever it lies.
// Shared by the jobs of one take; every call only reads the descriptor, so any thread may call it.
class HeldFolder {
public:
    // Nothing when the folder cannot be opened.
    static std::shared_ptr<const HeldFolder> hold(const QString& path);

    // Where the folder lies now: `expected` while it is there, else the name the kernel keeps for it; nothing
    // once it was deleted (a move to another disk copies and deletes) or no path reaches it.
    std::optional<QString> now(const QString& expected) const;
    // The folder's path through the descriptor, which reaches it wherever it lies now. Valid in this process
    // while the folder is held.
    QString throughDescriptor() const;
    // What tells this folder from every other while it is held (its device and inode); nothing when the
    // descriptor cannot be read.
    std::optional<OpenFile::Identity> identity() const;
    // `path` with a file directly in the folder `from` named in `to` instead; any other path as it is.
    static QString moved(const QString& path, const QString& from, const QString& to);

    explicit HeldFolder(OpenFile folder) : folder_(std::move(folder)) {}

private:
    OpenFile folder_;
};
