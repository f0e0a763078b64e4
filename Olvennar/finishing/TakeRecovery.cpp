#include "finishing/TakeRecovery.h"

#include "finishing/PendingNote.h"
#include "platform/system/AtomicFile.h"
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

class Sweep {
public:
    explicit Sweep(const QStringList& noted)
        : earlier_(noted)
    {
    }

    void folder(const QDir& folder)
    {
        removeSiblings(folder);
        pendingJobs(folder);
        descriptions(folder);
        raws(folder);
    }

    Findings findings;

private:
    // Logs a lasting finding the first time it is seen; `key` names it across launches.
    void note(const QString& key, const QString& line)
    {
        findings.noted << key;
        if (!earlier_.contains(key))
            Diagnostics::log(QStringLiteral("recovery: ") + line);
    }

    void removeSiblings(const QDir& folder)
    {
        // Every writer's hidden sibling (a render's, a remux's, a short's, a face mux's), not only a render's.
        for (const QFileInfo& sibling : folder.entryInfoList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden)) {
            if (!AtomicFile::isHiddenSibling(sibling.fileName()))
                continue;
            if (QFile::remove(sibling.filePath())) {
                findings.removedSiblings << sibling.filePath();
                Diagnostics::log(QStringLiteral("recovery: removed the unfinished render ") + sibling.filePath());
            }
        }
    }

    void pendingJobs(const QDir& folder)
    {
        for (const QFileInfo& marker : folder.entryInfoList({QStringLiteral(".*.pending")}, QDir::Files | QDir::Hidden)) {
            const QString base = marker.completeBaseName().mid(1);
            const std::optional<QJsonObject> found = PendingNote::read(marker.filePath());
            if (!found) {
                const QString name = base.startsWith(QLatin1String("final")) ? base + QStringLiteral(".mov") : base;
                // A render's final in place: whatever its note held is done.
                if (name != base && folder.exists(name)) {
                    QFile::remove(marker.filePath());
                    continue;
                }
                note(marker.filePath(), marker.filePath() + QStringLiteral(" could not be read; ") + name + QStringLiteral(" is not finished again"));
                continue;
            }
            QJsonObject job = *found;
            const bool render = job.value(QStringLiteral("kind")).toString() == PendingRender::kind;
            const QString output = render ? folder.filePath(base + QStringLiteral(".mov")) : job.value(QStringLiteral("output")).toString();
            if (render && QFileInfo::exists(output)) {
                // The render finished; only its note was left behind.
                QFile::remove(marker.filePath());
                continue;
            }
            const QString what = render ? QStringLiteral("render") : QStringLiteral("finish");
            if (job.value(QStringLiteral("relaunches")).toInt() > 0) {
                note(marker.filePath(), QStringLiteral("the ") + what + QStringLiteral(" of ") + output
                        + QStringLiteral(" was cut short again after a relaunch; the take's files stay"));
                continue;
            }
            // Counted before the job runs: a job that kills the studio is not retried forever.
            job.insert(QStringLiteral("relaunches"), job.value(QStringLiteral("relaunches")).toInt() + 1);
            job.insert(QStringLiteral("output"), output);
            const std::optional<PendingRender::Job> renderJob = render ? PendingRender::fromNote(job) : std::nullopt;
            if ((render && !renderJob) || !PendingNote::write({marker.filePath(), job}))
                continue;
            if (renderJob)
                findings.renders.push_back(*renderJob);
            else
                findings.finishes.push_back(job);
            Diagnostics::log(QStringLiteral("recovery: finishing ") + output + QStringLiteral(" again, its ") + what + QStringLiteral(" was cut short"));
        }
    }

    void descriptions(const QDir& folder)
    {
        for (const QFileInfo& description : folder.entryInfoList({QStringLiteral("take*.json")}, QDir::Files)) {
            QFile file(description.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString preview = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("preview")).toString();
            if (preview.isEmpty() || preview.contains(QLatin1Char('/')) || folder.exists(preview)
                || folder.exists(QLatin1Char('.') + QFileInfo(preview).completeBaseName() + QStringLiteral(".pending")))
                continue;
            findings.missingFinals << folder.filePath(preview);
            note(folder.filePath(preview), description.filePath() + QStringLiteral(" names ") + preview + QStringLiteral(", which was never finished"));
        }
    }

    void raws(const QDir& folder)
    {
        for (const QFileInfo& raw : folder.entryInfoList({QStringLiteral("raw*.mov")}, QDir::Files)) {
            if (folder.exists(QStringLiteral("take") + suffixOf(raw.fileName(), QStringLiteral("raw")) + QStringLiteral(".json")))
                continue;
            findings.unsavedRaws << raw.filePath();
            note(raw.filePath(), raw.filePath() + QStringLiteral(" was recorded but its take was never saved; it stays where it is"));
        }
    }

    const QStringList& earlier_;
};

// A finished take's pieces, tidied away beside its final: nothing there is left to do.
bool isTidiedPieces(const QFileInfo& folder) { return folder.fileName() == QLatin1String("Raw"); }

} // namespace

Findings sweep(const QString& saveRoot, const QStringList& noted)
{
    Sweep sweep(noted);
    const QDir root(saveRoot);
    for (const QFileInfo& folder : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir take(folder.filePath());
        sweep.folder(take);
        for (const QFileInfo& inner : take.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (!isTidiedPieces(inner))
                sweep.folder(QDir(inner.filePath()));
        }
    }
    return std::move(sweep.findings);
}

} // namespace TakeRecovery
