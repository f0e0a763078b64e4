#include "support/SmallDisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

SmallDisk::Run SmallDisk::runTest(const QString& testName, const QString& folder, const QString& size)
{
    QDir().mkpath(folder);
    QProcess inner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(folderVariable), folder);
    inner.setProcessEnvironment(environment);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
        QStringLiteral("mount -t tmpfs -o size=") + size
            + QStringLiteral(" tmpfs \"$0\" || exit 77; exec \"$1\" --gtest_also_run_disabled_tests --gtest_filter=\"$2\""),
        folder, QCoreApplication::applicationFilePath(), testName});
    Run run;
    if (!inner.waitForFinished(120'000))
        inner.kill();
    run.output = QString::fromLocal8Bit(inner.readAll());
    run.exitCode = inner.exitStatus() == QProcess::NormalExit ? inner.exitCode() : -1;
    run.mounted = run.exitCode != 77 && !run.output.contains(QStringLiteral("unshare:"));
    return run;
}

bool SmallDisk::fill(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(QDir(folder).filePath(QStringLiteral("filler"))).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'x');
    while (::write(fd, block.constData(), static_cast<size_t>(block.size())) > 0) { }
    const int why = errno;
    ::close(fd);
    return why == ENOSPC;
}
