#pragma once

#include "platform/system/HeldFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <memory>

// The folder a take writes into and the suffix its files carry ("" for a folder's first take, "-2" …).
struct TakeFolder {
    QString path;
    QString suffix;
    // The take made the folder, so it may take it away again.
    bool created = false;
    // The folder was renamed or moved while the take recorded: the take is saved where it lies now.
    bool moved = false;
    // The folder itself, held open from the take's start: what identifies it whatever it is called later.
    std::shared_ptr<const HeldFolder> held;

    // "<folder>/<word><suffix><extension>", e.g. raw-2.mov.
    QString file(const QString& word, const QString& extension) const { return QDir(path).filePath(word + suffix + extension); }

    // The take's folder once its movie lies at `movie`, where the recorder found it after the stop: an open
    // file follows the renames of its folder, so the movie's folder is where the take is now. Itself when
    // nothing moved.
    TakeFolder holding(const QString& movie) const
    {
        const QString now = QFileInfo(movie).absolutePath();
        if (now == QDir(path).absolutePath())
            return *this;
        return {now, suffix, created, true, held};
    }
    // The folder as reads and writes reach it through the held descriptor, wherever it lies meanwhile; itself
    // when it is not held.
    TakeFolder reached() const
    {
        if (!held)
            return *this;
        return {held->throughDescriptor(), suffix, created, moved, held};
    }
};
