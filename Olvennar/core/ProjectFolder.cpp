#include "core/ProjectFolder.h"

#include "core/SaveLocation.h"
#include "platform/system/Paths.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <set>
#include <sys/stat.h>

namespace ProjectFolder {

namespace {

const QString videoWord = QStringLiteral("video");

QString child(const QString& folder, const QString& name) { return QDir(folder).filePath(name); }

QStringList entryNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

// Blank characters of a line: spaces and tabs, not line breaks.
bool isBlank(QChar c) { return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space; }

QString trimBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text[start]))
        ++start;
    while (end > start && isBlank(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

// The leading run of number characters read as a decimal integer; none for an empty run, a run with
// non-ASCII digits or one that does not fit.
std::optional<qint64> leadingNumber(const QString& text)
{
    qsizetype length = 0;
    while (length < text.size() && text[length].isNumber())
        ++length;
    if (length == 0)
        return std::nullopt;
    const QString run = text.left(length);
    for (QChar c : run) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = run.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QString shortsFolderName(RecordingChannel channel)
{
    return channel == RecordingChannel::dorvelTalk ? QStringLiteral("tiktok") : QStringLiteral("shorts");
}

ErrorInfo folderError(const QString& path, int code)
{
    return ErrorInfo{QStringLiteral("POSIX"), code,
        QStringLiteral("Could not create the folder ") + path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code))};
}

} // namespace

QString brainRoot(const Settings& settings)
{
    const QString stored = settings.stringValue(QString::fromLatin1(brainRootKey), QString()).trimmed();
    const QString path = Paths::expandTilde(stored.isEmpty() ? QString::fromLatin1(defaultBrainRoot) : stored);
    // A relative path would land wherever the process happens to run.
    if (!QDir::isAbsolutePath(path))
        return QDir::cleanPath(Paths::expandTilde(QString::fromLatin1(defaultBrainRoot)));
    return QDir::cleanPath(path);
}

std::optional<QString> channelRoot(const Settings& settings, RecordingChannel channel)
{
    const QString projects = child(brainRoot(settings), QStringLiteral("PROJECTS"));
    switch (channel) {
    case RecordingChannel::ai: return std::nullopt;
    case RecordingChannel::dorvelTalk: return child(projects, QStringLiteral("DORVEL-TALK"));
    case RecordingChannel::branchline: return child(projects, QStringLiteral("BRANCHLINE"));
    case RecordingChannel::inkwell: return child(projects, QStringLiteral("INKWELL-CHANNEL"));
    }
    return std::nullopt;
}

QString recordingsRoot(const Settings& settings, RecordingChannel channel)
{
    if (const auto root = channelRoot(settings, channel))
        return child(*root, QStringLiteral("recordings"));
    return SaveLocation::current(settings);
}

QString shortsRoot(const Settings& settings, RecordingChannel channel)
{
    if (const auto root = channelRoot(settings, channel))
        return child(*root, shortsFolderName(channel));
    return child(SaveLocation::current(settings), QStringLiteral("Shorts"));
}

QStringList takeRoots(const Settings& settings)
{
    QStringList roots;
    for (const RecordingChannel channel : RecordingChannels::allCases) {
        for (const QString& root : {recordingsRoot(settings, channel), shortsRoot(settings, channel)}) {
            if (!roots.contains(root))
                roots << root;
        }
    }
    return roots;
}

QString shortsRoot(const Settings& settings, RecordingChannel channel, const QString& requested)
{
    return handoffPlaces(settings).shortsRoot(channel, requested);
}

HandoffPlaces handoffPlaces(const Settings& settings)
{
    HandoffPlaces places;
    places.homeFolder = Paths::homeFolder();
    places.recordingsRoot = SaveLocation::current(settings);
    for (const RecordingChannel channel : RecordingChannels::allCases) {
        if (const auto root = channelRoot(settings, channel))
            places.projectTrees[channel] = *root;
        places.ownShortsRoots[channel] = shortsRoot(settings, channel);
    }
    return places;
}

std::optional<qint64> number(const QString& folderName)
{
    const QString name = trimBlanks(folderName);
    if (name.size() < 6)
        return std::nullopt;
    if (!name.toLower().startsWith(videoWord))
        return std::nullopt;
    return leadingNumber(trimBlanks(name.mid(videoWord.size())));
}

qint64 highestUsedNumber(const Settings& settings, RecordingChannel channel)
{
    qint64 highest = 0;
    for (const QString& name : entryNames(recordingsRoot(settings, channel))) {
        if (const auto n = number(name))
            highest = std::max(highest, *n);
    }
    return highest;
}

namespace {
QString projectName(qint64 n) { return videoWord + QLatin1Char(' ') + QString::number(n); }
qint64 following(qint64 n) { return n < std::numeric_limits<qint64>::max() ? n + 1 : n; }
}

QString nextProjectURL(const Settings& settings, RecordingChannel channel)
{
    return child(recordingsRoot(settings, channel), projectName(following(highestUsedNumber(settings, channel))));
}

Creation createFreshFolder(const QString& parent, const std::function<QString(qint64)>& makeName, qint64 first)
{
    if (!QDir().mkpath(parent))
        return Creation{{}, folderError(parent, QFileInfo(parent).exists() ? ENOTDIR : EACCES)};
    constexpr int attempts = 1000;
    qint64 n = first;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const QString path = child(parent, makeName(n));
        // Plain mkdir: it fails on an existing folder, so a folder someone else made is never taken over.
        if (::mkdir(QFile::encodeName(path).constData(), 0755) == 0)
            return Creation{path, std::nullopt};
        const int code = errno;
        if (code != EEXIST)
            return Creation{{}, folderError(path, code)};
        if (n == std::numeric_limits<qint64>::max())
            break;
        ++n;
    }
    return Creation{{}, folderError(child(parent, makeName(n)), EEXIST)};
}

namespace {
// A folder under the save root is only made once the root is there: a root on a drive that is not mounted
// must not reappear on the system disk.
std::optional<ErrorInfo> saveRootUnavailable(const Settings& settings, const QString& folder)
{
    const QString root = SaveLocation::current(settings);
    if (QDir::cleanPath(folder) != root && !isInside(folder, root))
        return std::nullopt;
    if (const auto error = SaveLocation::ensureCurrent(settings))
        return ErrorInfo{QStringLiteral("POSIX"), ENOENT, *error};
    return std::nullopt;
}
}

Creation createNextProject(const Settings& settings, RecordingChannel channel)
{
    if (auto error = saveRootUnavailable(settings, recordingsRoot(settings, channel)))
        return Creation{{}, std::move(error)};
    return createFreshFolder(recordingsRoot(settings, channel), projectName, following(highestUsedNumber(settings, channel)));
}

QStringList existingProjects(const Settings& settings, RecordingChannel channel)
{
    const QString root = recordingsRoot(settings, channel);
    std::vector<std::pair<qint64, QString>> numbered;
    for (const QString& name : entryNames(root)) {
        if (const auto n = number(name))
            numbered.emplace_back(*n, child(root, name));
    }
    std::stable_sort(numbered.begin(), numbered.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList result;
    for (const auto& entry : numbered)
        result.append(entry.second);
    return result;
}

QString shortDayPrefix(const QDateTime& date, const QString& script)
{
    QString prefix = date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
    if (!script.isEmpty())
        prefix += QLatin1Char('-') + script;
    return prefix + QStringLiteral("-short-");
}

namespace {
qint64 highestShortNumber(const QString& root, const QString& prefix)
{
    qint64 highest = 0;
    for (const QString& name : entryNames(root)) {
        if (!name.startsWith(prefix))
            continue;
        if (const auto n = leadingNumber(name.mid(prefix.size())))
            highest = std::max(highest, *n);
    }
    return highest;
}
QString shortsRootOrDefault(const Settings& settings, const QString& root)
{
    return root.isEmpty() ? child(SaveLocation::current(settings), QStringLiteral("Shorts")) : root;
}
}

QString nextShortURL(const Settings& settings, const QDateTime& date, const QString& script, const QString& root)
{
    const QString folder = shortsRootOrDefault(settings, root);
    const QString prefix = shortDayPrefix(date, script);
    return child(folder, prefix + QString::number(following(highestShortNumber(folder, prefix))));
}

Creation createNextShort(const Settings& settings, const QString& script, const QString& root, const QDateTime& now)
{
    const QString folder = shortsRootOrDefault(settings, root);
    if (auto error = saveRootUnavailable(settings, folder))
        return Creation{{}, std::move(error)};
    const QString prefix = shortDayPrefix(now, script);
    return createFreshFolder(folder, [&prefix](qint64 n) { return prefix + QString::number(n); },
        following(highestShortNumber(folder, prefix)));
}

std::optional<QString> latestShortTake(const Settings& settings)
{
    const QString root = child(SaveLocation::current(settings), QStringLiteral("Shorts"));
    std::optional<QString> newest;
    QDateTime newestDate;
    for (const QString& name : entryNames(root)) {
        if (!name.contains(QLatin1String("-short-")))
            continue;
        const QFileInfo candidate(child(child(root, name), QStringLiteral("short.mov")));
        if (!candidate.exists())
            continue;
        const QDateTime modified = candidate.lastModified();
        // An unreadable date counts as the distant past.
        if (!newest || (modified.isValid() && (!newestDate.isValid() || modified > newestDate))) {
            newest = candidate.filePath();
            newestDate = modified;
        }
    }
    return newest;
}

bool isInside(const QString& path, const QString& folder)
{
    const QString inner = QDir::cleanPath(path);
    QString outer = QDir::cleanPath(folder);
    if (inner == outer)
        return true;
    if (!outer.endsWith(QLatin1Char('/')))
        outer += QLatin1Char('/');
    return inner.startsWith(outer);
}

const QStringList& takeBaseWords()
{
    static const QStringList words{QStringLiteral("raw"), QStringLiteral("camera"), QStringLiteral("iphone"),
        QStringLiteral("face"), QStringLiteral("final"), QStringLiteral("preview"), QStringLiteral("short"),
        QStringLiteral("clicks"), QStringLiteral("cursor"), QStringLiteral("zoom"), QStringLiteral("layout"),
        QStringLiteral("take"), QStringLiteral("stop"), QStringLiteral("crop"), QStringLiteral("voice")};
    return words;
}

namespace {
// The take number a file name carries: 1 for "<base>.<ext>", N for "<base>-N.<ext>"; none otherwise.
std::optional<qint64> takeNumber(const QString& name)
{
    for (const QString& base : takeBaseWords()) {
        if (!name.startsWith(base))
            continue;
        const QString rest = name.mid(base.size());
        if (rest.startsWith(QLatin1Char('.')))
            return 1;
        if (!rest.startsWith(QLatin1Char('-')))
            continue;
        const QString tail = rest.mid(1);
        qsizetype digits = 0;
        while (digits < tail.size() && tail[digits] >= QLatin1Char('0') && tail[digits] <= QLatin1Char('9'))
            ++digits;
        if (digits == 0 || digits >= tail.size() || tail[digits] != QLatin1Char('.'))
            continue;
        bool ok = false;
        const qint64 n = tail.left(digits).toLongLong(&ok);
        if (ok)
            return n;
    }
    return std::nullopt;
}
}

QString nextTakeSuffix(const QString& folder, const QStringList& underWay)
{
    if (!QFileInfo(folder).isDir())
        return {};
    QStringList names = entryNames(folder) + underWay;
    // Finished takes are tidied into "Raw" under the same names; a new take must not collide with them either.
    const QString raw = child(folder, QStringLiteral("Raw"));
    if (QFileInfo(raw).isDir())
        names += entryNames(raw);
    std::set<qint64> taken;
    for (QString name : names) {
        // A job still waiting keeps its take's suffix by its hidden note (".final-2.pending") once the take's
        // shown files were deleted: a take filmed under that suffix now would be read and tidied by that job.
        if (name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(".pending")))
            name.remove(0, 1);
        if (const auto n = takeNumber(name))
            taken.insert(*n);
    }
    if (taken.empty())
        return {};
    qint64 n = 2;
    while (taken.count(n))
        ++n;
    return QLatin1Char('-') + QString::number(n);
}

} // namespace ProjectFolder
