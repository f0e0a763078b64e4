#include "support/StudioHome.h"

#include <QDir>
#include <QFile>

namespace StudioHome {

QProcessEnvironment make(const QString& root)
{
    const QDir base(root);
    for (const char* made : {"home/.config", "home/.local/state", "home/.local/share", "home/.cache", "home/Videos", "run", "tmp"})
        QDir().mkpath(base.filePath(QString::fromLatin1(made)));
    // The runtime folder must be private, or Qt and PulseAudio refuse it.
    QFile::setPermissions(base.filePath(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), base.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), base.filePath(QStringLiteral("home/.config")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), base.filePath(QStringLiteral("home/.local/state")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), base.filePath(QStringLiteral("home/.local/share")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), base.filePath(QStringLiteral("home/.cache")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), base.filePath(QStringLiteral("run")));
    environment.insert(QStringLiteral("TMPDIR"), base.filePath(QStringLiteral("tmp")));
    return environment;
}

std::unique_ptr<QProcess> launch(const QString& program, const QProcessEnvironment& environment)
{
    auto studio = std::make_unique<QProcess>();
    studio->setProcessEnvironment(environment);
    studio->setProgram(program);
    studio->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    studio->setStandardOutputFile(QProcess::nullDevice());
    studio->start();
    return studio;
}

} // namespace StudioHome
