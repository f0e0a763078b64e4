#include "finishing/NoteFolders.h"

#include "finishing/PendingNote.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString listKey = QStringLiteral("resumeNoteFolders");

// A folder that is gone holds none.
bool holdsNote(const QString& folder) { return !PendingNote::notesIn(QDir(folder)).isEmpty(); }

} // namespace

NoteFolders::NoteFolders(Settings& settings, EmptyMountPoint emptyMountPoint)
    : settings_(&settings)
    , emptyMountPoint_(std::move(emptyMountPoint))
{
}

bool NoteFolders::write(const FinishWork::Note& note) const
{
    const QString folder = QFileInfo(note.path).absolutePath();
    // Listed first: a crash between the two leaves only an entry the next sweep drops, never an unlisted note.
    add(folder);
    if (PendingNote::write(note))
        return true;
    release(folder);
    return false;
}

namespace {

FinishWork::Note throughDescriptor(const FinishWork::Note& note, const HeldFolder& folder)
{
    return {QDir(folder.throughDescriptor()).filePath(QFileInfo(note.path).fileName()), note.content};
}

} // namespace

bool NoteFolders::write(const FinishWork::Note& note, const HeldFolder& held) const
{
    const QString folder = QFileInfo(note.path).absolutePath();
    add(folder);
    if (PendingNote::write(throughDescriptor(note, held)))
        return true;
    release(folder);
    return false;
}

void NoteFolders::remove(const FinishWork::Note& note, const HeldFolder& held) const
{
    PendingNote::remove(throughDescriptor(note, held).path);
    release(QFileInfo(note.path).absolutePath());
}

void NoteFolders::remove(const QString& notePath) const
{
    PendingNote::remove(notePath);
    release(QFileInfo(notePath).absolutePath());
}

void NoteFolders::removeOwn(const FinishWork::Note& note) const
{
    if (PendingNote::holder(note) == PendingNote::Holder::another)
        return;
    remove(note.path);
}

QStringList NoteFolders::folders() const { return settings_->stringListValue(listKey).value_or(QStringList{}); }

void NoteFolders::prune() const
{
    const QStringList listed = folders();
    QStringList kept = listed;
    kept.removeIf([this](const QString& folder) { return !holdsNote(folder) && !outOfReach(folder); });
    if (kept.size() != listed.size())
        store(kept);
}

bool NoteFolders::outOfReach(const QString& folder) const
{
    const QFileInfo info(folder);
    if (info.exists())
        return false;
    const QString parent = info.absolutePath();
    return !QFileInfo(parent).isDir() || (emptyMountPoint_ && emptyMountPoint_(parent));
}

QString NoteFolders::keyOf(const QString& folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

void NoteFolders::add(const QString& folder) const
{
    QStringList listed = folders();
    const QString key = keyOf(folder);
    if (std::any_of(listed.cbegin(), listed.cend(), [&key](const QString& entry) { return keyOf(entry) == key; }))
        return;
    listed << key;
    // Past the bound the oldest folders out of reach go first, then the oldest of all.
    for (qsizetype index = 0; listed.size() > maxFolders && index < listed.size();) {
        if (outOfReach(listed.at(index)))
            listed.removeAt(index);
        else
            ++index;
    }
    while (listed.size() > maxFolders)
        listed.removeFirst();
    store(listed);
}

void NoteFolders::release(const QString& folder) const
{
    if (holdsNote(folder))
        return;
    QStringList listed = folders();
    const QString key = keyOf(folder);
    if (listed.removeIf([&key](const QString& entry) { return keyOf(entry) == key; }) > 0)
        store(listed);
}

void NoteFolders::store(const QStringList& folders) const
{
    if (folders.isEmpty())
        settings_->remove(listKey);
    else
        settings_->setStringList(listKey, folders);
}
