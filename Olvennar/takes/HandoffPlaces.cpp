#include "takes/HandoffPlaces.h"

#include "platform/system/Paths.h"
#include "takedata/HandoffFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

bool strictlyInside(const QString& path, const QString& folder)
{
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QString outer = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(outer) && path.size() > outer.size();
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

QString HandoffPlaces::realPath(const QString& path)
{
    if (!path.startsWith(QLatin1Char('/')))
        return {};
    if (std::any_of(path.begin(), path.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return {};
    QString current = QStringLiteral("/");
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            current = parentOf(current);
            continue;
        }
        const QString next = current == QLatin1String("/") ? current + part : current + QLatin1Char('/') + part;
        const QFileInfo info(next);
        if (info.isSymLink() || info.exists()) {
            // A link that leads nowhere (or in circles) would be created wherever it points.
            const QString resolved = info.canonicalFilePath();
            if (resolved.isEmpty())
                return {};
            current = resolved;
        } else {
            current = next;
        }
    }
    return current;
}

std::optional<QString> HandoffPlaces::confineFolder(const QString& folder, RecordingChannel channel, QString* why) const
{
    const auto refuse = [&](const QString& reason) -> std::optional<QString> {
        if (why)
            *why = reason + HandoffFile::printable(folder);
        return std::nullopt;
    };
    const QString real = realPath(Paths::expandTilde(folder));
    if (real.isEmpty())
        return refuse(QStringLiteral(", video_folder cannot be resolved: "));
    const QString recordings = realPath(recordingsRoot);
    const auto tree = projectTrees.find(channel);
    const QString project = tree == projectTrees.end() ? QString() : realPath(tree->second);
    if (strictlyInside(real, recordings) || strictlyInside(real, project))
        return real;
    return refuse(QStringLiteral(", video_folder lies outside the studio's folders: "));
}

QString HandoffPlaces::shortsRoot(RecordingChannel channel, const QString& requested) const
{
    const auto own = ownShortsRoots.find(channel);
    const QString fallback = own == ownShortsRoots.end() ? QString() : own->second;
    const auto tree = projectTrees.find(channel);
    const QString text = requested.trimmed();
    if (tree == projectTrees.end() || text.isEmpty())
        return fallback;
    const QString real = realPath(Paths::expandTilde(text));
    return strictlyInside(real, realPath(tree->second)) ? real : fallback;
}

std::optional<QString> HandoffPlaces::confineScript(const QString& file, RecordingChannel channel) const
{
    const QString real = realPath(file);
    const auto tree = projectTrees.find(channel);
    const QStringList allowed{realPath(homeFolder), realPath(recordingsRoot), tree == projectTrees.end() ? QString() : realPath(tree->second)};
    if (std::any_of(allowed.begin(), allowed.end(), [&real](const QString& folder) { return strictlyInside(real, folder); }))
        return real;
    return std::nullopt;
}
