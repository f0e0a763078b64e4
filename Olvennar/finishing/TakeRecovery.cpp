#include "finishing/TakeRecovery.h"

#include "platform/system/Diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace TakeRecovery {

namespace {

// "take-2.json" → "-2": the suffix the take's other files carry.
QString suffixOf(const QString& name, const QString& base)
{
    return QFileInfo(name).completeBaseName().mid(base.size());
}

void sweepFolder(const QDir& folder, Findings& findings)
{
    for (const QFileInfo& sibling : folder.entryInfoList({QStringLiteral(".mixdown-*")}, QDir::Files | QDir::Hidden)) {
        if (QFile::remove(sibling.filePath())) {
            findings.removedSiblings << sibling.filePath();
            Diagnostics::log(QStringLiteral("recovery: removed the unfinished render ") + sibling.filePath());
        }
    }
    for (const QFileInfo& description : folder.entryInfoList({QStringLiteral("take*.json")}, QDir::Files)) {
        QFile file(description.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString preview = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("preview")).toString();
        if (preview.isEmpty() || preview.contains(QLatin1Char('/')) || folder.exists(preview))
            continue;
        findings.missingFinals << folder.filePath(preview);
        Diagnostics::log(QStringLiteral("recovery: ") + description.filePath() + QStringLiteral(" names ") + preview
            + QStringLiteral(", which was never finished"));
    }
    for (const QFileInfo& raw : folder.entryInfoList({QStringLiteral("raw*.mov")}, QDir::Files)) {
        if (folder.exists(QStringLiteral("take") + suffixOf(raw.fileName(), QStringLiteral("raw")) + QStringLiteral(".json")))
            continue;
        findings.unsavedRaws << raw.filePath();
        Diagnostics::log(QStringLiteral("recovery: ") + raw.filePath() + QStringLiteral(" was recorded but its take was never saved; it stays where it is"));
    }
}

} // namespace

Findings sweep(const QString& saveRoot)
{
    Findings findings;
    const QDir root(saveRoot);
    for (const QFileInfo& folder : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir take(folder.filePath());
        sweepFolder(take, findings);
        for (const QFileInfo& inner : take.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
            sweepFolder(QDir(inner.filePath()), findings);
    }
    return findings;
}

} // namespace TakeRecovery
