#pragma once

#include <QString>
#include <QStringList>

// A file that must not overwrite one of the same name goes beside it as "<stem> (2).<ext>", "<stem> (3).<ext>"...
// The same pattern tells which files beside a name are such copies, so whoever clears or tidies the
// name takes them along.
namespace NumberedCopies {

// The path itself when nothing is there, else the first numbered name that is free.
QString freePath(const QString& path);
// The names (not paths) of the numbered copies of this path's file that exist in its folder, in number order.
QStringList existing(const QString& path);

} // namespace NumberedCopies
