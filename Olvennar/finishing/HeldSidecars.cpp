#include "finishing/HeldSidecars.h"

#include "platform/system/AtomicFile.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/HeldFolder.h"

#include <QFileInfo>

#include <algorithm>

void HeldSidecars::hold(const QString& path, QByteArray bytes, const QString& purpose)
{
    std::erase_if(files_, [&path](const File& file) { return file.path == path; });
    files_.push_back({path, std::move(bytes), purpose});
}

void HeldSidecars::add(const HeldSidecars& other)
{
    for (const File& file : other.files_) {
        std::erase_if(files_, [&file](const File& held) { return held.path == file.path; });
        files_.push_back(file);
    }
}

void HeldSidecars::moveTo(const QString& from, const QString& to)
{
    for (File& file : files_)
        file.path = HeldFolder::moved(file.path, from, to);
}

void HeldSidecars::writeAll()
{
    std::erase_if(files_, [](const File& file) {
        const std::optional<QString> failure = AtomicFile::write(file.path, file.bytes, file.purpose);
        if (failure)
            Diagnostics::log(QStringLiteral("could not write ") + QFileInfo(file.path).fileName() + QStringLiteral(" again: ") + *failure);
        else
            Diagnostics::log(QStringLiteral("wrote ") + QFileInfo(file.path).fileName() + QStringLiteral(", which the disk had refused"));
        return !failure;
    });
}

QStringList HeldSidecars::names() const
{
    QStringList names;
    for (const File& file : files_)
        names << QFileInfo(file.path).fileName();
    return names;
}

QString HeldSidecars::refusedNote() const
{
    if (files_.empty())
        return {};
    QStringList listed = names();
    const QString last = listed.takeLast();
    const QString joined = listed.isEmpty() ? last : listed.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return joined + QStringLiteral(" could not be written (is the disk full?) — the take's movies are kept");
}
