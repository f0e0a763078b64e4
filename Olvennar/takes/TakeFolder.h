#pragma once

#include <QDir>
#include <QString>

// The folder a take writes into and the suffix its files carry ("" for a folder's first take, "-2" …).
struct TakeFolder {
    QString path;
    QString suffix;
    // The take made the folder, so it may take it away again.
    bool created = false;

    // "<folder>/<word><suffix><extension>", e.g. raw-2.mov.
    QString file(const QString& word, const QString& extension) const { return QDir(path).filePath(word + suffix + extension); }
};
