#pragma once

#include "platform/system/OpenFile.h"

#include <QString>

#include <memory>

// One file held open by what it is, from the moment its owner knew it as its own. While it is held its inode
// stays allocated, so a file found later at its name with another device and inode is provably another file
// (one made since this one was deleted, replaced or renamed away), even where the kernel hands a freed inode
// number to the next file at once. Every call only reads the descriptor, so any thread may call it.
class HeldFile {
public:
    // The file `path` names now (a symbolic link as itself); nothing when nothing is there.
    static std::shared_ptr<const HeldFile> hold(const QString& path);

    // Whether `path` names this very file now.
    bool isAt(const QString& path) const;
    // The file's path through the descriptor: opening it reads this very file, whatever its name names now or
    // once it was deleted. Valid in this process while the file is held.
    QString throughDescriptor() const;
    // Whether the file has no name left on its disk (deleted, or moved to another disk): only this descriptor
    // keeps its blocks taken. A file renamed, moved on its disk or put in the Trash still has one.
    bool unlinked() const;

    explicit HeldFile(OpenFile file) : file_(std::move(file)) {}

private:
    OpenFile file_;
};
