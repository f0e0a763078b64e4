#include "finishing/TakeRecovery.h"

#include "finishing/NoteFolders.h"
#include "finishing/PendingNote.h"
#include "platform/system/AtomicFile.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/HeldFolder.h"
#include "platform/system/JsonBounds.h"
#include "platform/system/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <climits>
#include <utility>

namespace TakeRecovery {

namespace {

// The name of the file a note's job makes; a note without one, or with one longer than a file name can be,
// names it by its own name (".final-2.pending").
QString outputName(const QJsonObject& note, const QString& base)
{
    const QString named = QFileInfo(note.value(QStringLiteral("output")).toString()).fileName();
    return named.isEmpty() || QFile::encodeName(named).size() > NAME_MAX ? base + QStringLiteral(".mov") : named;
}

// A take description is a few hundred bytes; anything far larger is not one.
constexpr qint64 largestDescriptionBytes = 16 * 1024 * 1024;
// Texts and nesting as a note's. A day's take whose camera dropped out every half second lists some 170 000
// spans, which take some 100 MB to read.
constexpr JsonBounds descriptionBounds{PendingNote::largestNoteValues, PendingNote::longestNoteText, PendingNote::deepestNote, 128 * 1024 * 1024};

// A short's folder ("2026-01-02-short-1", "2026-01-02-hook-short-3") keeps its raw movie beside the short by design.
bool isShortFolder(const QDir& folder) { return folder.dirName().contains(QLatin1String("-short-")); }

// What a dead writer's hidden sibling was, by the purpose its name begins with: a JSON file's is a sidecar, a
// take description or a resume note a kill cut short while it was written (".zoom-<UUID>.json" during the
// stop); a movie's is the finish job that wrote it (".mixdown-…" a render's, ".short-…" a short export's).
QString madeBy(const QString& siblingName)
{
    const QString purpose = AtomicFile::siblingPurpose(siblingName).value_or(QString());
    if (purpose == QLatin1String("pending"))
        return QStringLiteral("half-written finish note");
    if (siblingName.endsWith(QLatin1String(".json")))
        return QStringLiteral("half-written ") + purpose + QStringLiteral(" sidecar");
    static const QHash<QString, QString> jobs{{QStringLiteral("mixdown"), QStringLiteral("render")}, {QStringLiteral("short"), QStringLiteral("short export")},
        {QStringLiteral("facemux"), QStringLiteral("face movie")}, {QStringLiteral("enhance"), QStringLiteral("voice enhancement")},
        {QStringLiteral("remux"), QStringLiteral("remux")}};
    return QStringLiteral("unfinished ") + jobs.value(purpose, purpose + QStringLiteral(" file"));
}

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
        if (!isShortFolder(folder))
            raws(folder);
    }

    // A listed folder whose drive is away: said once while it stays away, and swept at a launch that finds it.
    void outOfReach(const QString& folder)
    {
        note(folder, folder + QStringLiteral(" is out of reach; a job cut short there is finished at a launch that finds it"));
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
                Diagnostics::log(QStringLiteral("recovery: removed the ") + madeBy(sibling.fileName()) + QLatin1Char(' ') + sibling.filePath());
            }
        }
    }

    void pendingJobs(const QDir& folder)
    {
        for (const QFileInfo& marker : PendingNote::notesIn(folder)) {
            const QString base = marker.completeBaseName().mid(1);
            QString refused;
            std::optional<QJsonObject> found = PendingNote::read(marker.filePath(), &refused);
            const QString madeName = found ? outputName(*found, base) : base + QStringLiteral(".mov");
            // What the job makes is in place: it finished, and only its note was left behind. A FIFO, a device
            // or a folder of its name is nothing a job makes: the note stays for whoever puts it right.
            if (folder.exists(madeName)) {
                if (RegularFile::otherThanRegular(folder.filePath(madeName)))
                    note(marker.filePath(), folder.filePath(madeName) + QStringLiteral(" is not a regular file; its note stays"));
                else
                    QFile::remove(marker.filePath());
                continue;
            }
            if (!found) {
                const QString name = base.startsWith(QLatin1String("final")) ? madeName : base;
                note(marker.filePath(), marker.filePath() + QStringLiteral(" could not be read") + (refused.isEmpty() ? QString() : QStringLiteral(", ") + refused)
                        + QStringLiteral("; ") + name + QStringLiteral(" is not finished again"));
                continue;
            }
            // Taken over, not copied: what the job changes below would otherwise copy the note's every member.
            QJsonObject job = std::move(*found);
            const bool render = job.value(QStringLiteral("kind")).toString() == PendingRender::kind;
            // The note's own folder, whatever folder the note names: the take may have been moved since, and a
            // job writes nowhere else.
            const QString output = folder.filePath(madeName);
            const QString what = render ? QStringLiteral("render") : QStringLiteral("finish");
            // Only a crash leaves a count above 0 (an end the studio runs itself writes its notes back at 0):
            // a job cut short again after its relaunch may be what kills the studio, so it does not run by
            // itself. A render is offered on a failed row; its note stays as it is until the Retry writes it anew.
            const bool stopped = job.value(QStringLiteral("relaunches")).toInt() > 0;
            // Counted before the job runs: a job that kills the studio is not retried forever.
            if (!stopped)
                job.insert(QStringLiteral("relaunches"), job.value(QStringLiteral("relaunches")).toInt() + 1);
            job.insert(QStringLiteral("output"), output);
            // Read once its note is counted, or is not to be: the decoded plan (a day's pointer track takes
            // some 170 MB) is not held beside the note's encoding as well. Handed on, never copied.
            const auto renderJob = [&] {
                QString cut;
                std::optional<PendingRender::Job> read = PendingRender::fromNote(job, &cut);
                // The job is this folder's from now on, wherever the folder is renamed or moved later.
                // The take's files beside the note now are its own: one filmed later under their names is another take's.
                if (read) {
                    read->folder = HeldFolder::hold(folder.absolutePath());
                    read->pieces.holdPresent(output);
                }
                // Said once while the note holds them: the note stays as counted until its render ends, or a
                // Retry or a moved folder writes it anew as it was read.
                if (!cut.isEmpty())
                    note(marker.filePath() + QStringLiteral(" (cut)"), marker.filePath() + QStringLiteral(" holds ") + cut
                            + QStringLiteral(", longer than a studio writes; such texts are read cut short"));
                return read;
            };
            if (stopped) {
                note(marker.filePath(), QStringLiteral("the ") + what + QStringLiteral(" of ") + output
                        + QStringLiteral(" was cut short again after a relaunch; the take's files stay"));
                if (std::optional<PendingRender::Job> stoppedJob = render ? renderJob() : std::nullopt)
                    findings.stoppedRenders.push_back({std::move(*stoppedJob), madeName + QStringLiteral(" was not made: its render was cut short again after a relaunch. The take's files are all there; Retry renders it again.")});
                continue;
            }
            if (render && !PendingRender::holdsPlan(job)) {
                note(marker.filePath(), marker.filePath() + QStringLiteral(" holds no render plan; ") + madeName + QStringLiteral(" is not finished again"));
                continue;
            }
            // Never run uncounted: its note stays as it was (a full disk), for a launch that can count it.
            QString failure;
            const std::optional<PendingNote::Written> counted = PendingNote::writeKnown({marker.filePath(), job}, &failure);
            if (!counted) {
                Diagnostics::log(QStringLiteral("recovery: ") + output + QStringLiteral(" is not finished at this launch: its note could not be counted (")
                    + failure + QStringLiteral("); a launch that can count it finishes it"));
                continue;
            }
            if (!render)
                findings.finishes.push_back(std::move(job));
            else if (std::optional<PendingRender::Job> read = renderJob()) {
                // Its note as counted stands for it until it changes: its plan is not encoded again to say so.
                read->counted = counted;
                findings.renders.push_back(std::move(*read));
            }
            Diagnostics::log(QStringLiteral("recovery: finishing ") + output + QStringLiteral(" again, its ") + what + QStringLiteral(" was cut short"));
        }
    }

    void descriptions(const QDir& folder)
    {
        // Devices, FIFOs and sockets of a description's name too: each is refused, and said once.
        for (const QFileInfo& description : folder.entryInfoList({QStringLiteral("take*.json")}, QDir::Files | QDir::System)) {
            const auto file = RegularFile::read(description.filePath(), largestDescriptionBytes);
            const auto* refusal = std::get_if<RegularFile::Refusal>(&file);
            if (refusal && *refusal == RegularFile::Refusal::missing)
                continue;
            // Weighed before it is parsed, as a note is.
            const std::optional<QString> refused = refusal ? RegularFile::refusalText(*refusal, largestDescriptionBytes)
                                                           : descriptionBounds.exceededBy(std::get<RegularFile::Contents>(file).bytes);
            if (refused) {
                note(description.filePath(), description.filePath() + QStringLiteral(" could not be read, ") + *refused);
                continue;
            }
            const QString preview = QJsonDocument::fromJson(std::get<RegularFile::Contents>(file).bytes).object().value(QStringLiteral("preview")).toString();
            if (preview.isEmpty() || preview.contains(QLatin1Char('/')) || QFile::encodeName(preview).size() > NAME_MAX || folder.exists(preview)
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

Findings sweepFolders(const QStringList& roots, const QStringList& noted, const NoteFolders* listed)
{
    Sweep sweep(noted);
    // Roots may hold one another (the save root holds its own "Shorts"), or be the same folder twice, and a
    // listed folder may lie under a root.
    QSet<QString> swept;
    const auto once = [&](const QFileInfo& folder) {
        const QString key = NoteFolders::keyOf(folder.filePath());
        if (swept.contains(key))
            return;
        swept.insert(key);
        sweep.folder(QDir(folder.filePath()));
    };
    for (const QString& root : roots) {
        for (const QFileInfo& folder : QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            once(folder);
            for (const QFileInfo& inner : QDir(folder.filePath()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                if (!isTidiedPieces(inner))
                    once(inner);
            }
        }
    }
    for (const QString& folder : listed ? listed->folders() : QStringList()) {
        if (QFileInfo(folder).isDir())
            once(QFileInfo(folder));
        else if (listed->outOfReach(folder))
            sweep.outOfReach(folder);
    }
    return std::move(sweep.findings);
}

} // namespace

Findings sweep(const QStringList& roots, const QStringList& noted) { return sweepFolders(roots, noted, nullptr); }

Findings sweep(const QStringList& roots, const QStringList& noted, const NoteFolders& listed)
{
    Findings found = sweepFolders(roots, noted, &listed);
    listed.prune();
    return found;
}

} // namespace TakeRecovery
