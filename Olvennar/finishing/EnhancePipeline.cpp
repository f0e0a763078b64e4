#include "finishing/EnhancePipeline.h"

#include "platform/system/AtomicFile.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

namespace EnhancePipeline {

namespace {
ErrorInfo enhanceError(int code, const QString& message) { return ErrorInfo{QString::fromLatin1(errorDomain), code, message}; }
} // namespace

Tools standardTools()
{
    return Tools{Paths::findExecutable(QStringLiteral("ffmpeg")),
        QDir(Paths::homeFolder()).filePath(QStringLiteral("Downloads/pravik-ai/audio/voice_polish.sh"))};
}

QString outputPath(const QString& sourcePath)
{
    const QFileInfo info(sourcePath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".enhanced.mov"));
}

std::optional<ErrorInfo> runProcess(const QString& program, const QStringList& arguments)
{
    QProcess process;
    // Standard error is collected as it comes, so a chatty tool never stalls on a full pipe.
    process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return enhanceError(-1, process.errorString());
    QByteArray errorText;
    while (process.state() != QProcess::NotRunning) {
        process.waitForFinished(200);
        errorText += process.readAllStandardError();
    }
    errorText += process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return std::nullopt;
    const int status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    QString message = QString::fromUtf8(errorText).trimmed();
    if (message.isEmpty() || message.contains(QChar::ReplacementCharacter))
        message = program + QStringLiteral(" exited ") + QString::number(status);
    return enhanceError(status, message);
}

std::optional<QString> scriptRefusal(const QString& scriptPath)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(scriptPath).constData(), &info) != 0)
        return QStringLiteral("the voice-polish script is missing: ") + scriptPath;
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("the voice-polish script is not a regular file: ") + scriptPath;
    if (info.st_uid != ::getuid())
        return QStringLiteral("the voice-polish script is not owned by you: ") + scriptPath;
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("the voice-polish script is writable by others: ") + scriptPath;
    return std::nullopt;
}

std::optional<ErrorInfo> run(const Tools& tools, const QString& sourceVideo, const QString& outputVideo)
{
    if (tools.ffmpeg.isEmpty())
        return enhanceError(-1, QStringLiteral("ffmpeg was not found on PATH."));
    if (const auto refusal = scriptRefusal(tools.polishScript)) {
        Diagnostics::log(QStringLiteral("enhance: ") + *refusal);
        return enhanceError(-1, QStringLiteral("Not running ") + *refusal);
    }
    const QString folderPath = QDir(QDir::tempPath()).filePath(
        QStringLiteral("pravik-enhance-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    if (!QDir().mkpath(folderPath))
        return enhanceError(-1, QStringLiteral("Could not create the folder ") + folderPath);
    struct RemoveFolder {
        QString path;
        ~RemoveFolder() { QDir(path).removeRecursively(); }
    } cleanup{folderPath};
    const QDir folder(folderPath);
    const QString extracted = folder.filePath(QStringLiteral("extracted.wav"));
    const QString enhanced = folder.filePath(QStringLiteral("enhanced.wav"));
    const QString remuxed = folder.filePath(QStringLiteral("enhanced.mov"));

    if (auto error = runProcess(tools.ffmpeg, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"),
            sourceVideo, QStringLiteral("-vn"), QStringLiteral("-ar"), QStringLiteral("48000"), extracted}))
        return error;
    if (auto error = runProcess(tools.polishScript, {extracted, enhanced}))
        return error;
    if (auto error = runProcess(tools.ffmpeg, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"),
            sourceVideo, QStringLiteral("-i"), enhanced, QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-map"),
            QStringLiteral("1:a:0"), QStringLiteral("-c:v"), QStringLiteral("copy"), QStringLiteral("-shortest"), remuxed}))
        return error;
    // Into place only now, so a failed run never leaves a half movie beside the take. The temporary folder
    // may be on another file system: copy next to the target first, then rename.
    const QString sibling = AtomicFile::hiddenSibling(outputVideo, QStringLiteral("enhance"));
    if (!QFile::copy(remuxed, sibling))
        return enhanceError(-1, QStringLiteral("Could not write ") + outputVideo);
    if (const auto failure = AtomicFile::replace(sibling, outputVideo)) {
        QFile::remove(sibling);
        return enhanceError(-1, QStringLiteral("Could not write ") + outputVideo + QStringLiteral(": ") + *failure);
    }
    return std::nullopt;
}

} // namespace EnhancePipeline
